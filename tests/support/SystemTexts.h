#pragma once
// The system's own texts, byte for byte as the tests expect them (Shift-JIS
// in the binaries, like the product's). Written out once for every test; the
// product keeps its own copies, so that a changed text fails here.
//
// A message that names something (a path, a URL, a command line) puts it
// after a blank line: those constants end in "\r\n\r\n" and the test
// appends the name.
#include <string>

namespace texts {

// Message boxes: the settings.
inline const std::string kMissingUrl = "設定ﾌｧｲﾙに受信するURLの記述がありません。";
inline const std::string kBadPublicKey = "設定ﾌｧｲﾙのPublicKeyの記述が正しくありません。";
inline const std::string kBadQuickCheck = "設定ﾌｧｲﾙのQuickCheckの記述が正しくありません。";
inline const std::string kTempFolderRefused =
    "設定ﾌｧｲﾙのTempFolderにﾌﾟﾛｸﾞﾗﾑのﾌｫﾙﾀﾞは指定できません。\r\n\r\n";

// Message boxes: the check, its download, unpacking and signature.
inline const std::string kReceiveFailed = "ｱｰｶｲﾌﾞﾃﾞｰﾀ受信中にｴﾗｰが起きました。\r\n\r\n";
inline const std::string kUrlNotOpened = "下記URLがｵｰﾌﾟﾝできません。\r\n\r\n";
inline const std::string kTempFileNotCreated = "下記ﾃﾝﾎﾟﾗﾘﾌｧｲﾙを作成できません。\r\n\r\n";
inline const std::string kUnpackFailed = "ｱｰｶｲﾌﾞﾃﾞｰﾀ解凍中にｴﾗｰが起きました。\r\n\r\n";
inline const std::string kSignatureRefused = "ｱｰｶｲﾌﾞﾃﾞｰﾀの署名を確認できません。\r\n\r\n";
inline std::string FilesFound(int count) {
    return std::to_string(count) +
           "件の更新ﾌｧｲﾙがあります。\r\n確認の上、更新ボタンを押下してください。";
}
inline const std::string kNothingNew = "新しい更新ﾌｧｲﾙはありません。\r\n終了します。";

// Message boxes: the update, leaving, starting the application.
inline const std::string kAllDone = "更新は全て完了しました。\r\n終了します。";
inline const std::string kUpdateFailed =
    "更新処理でｴﾗｰが起きています。\r\n更新対象ﾌﾟﾛｸﾞﾗﾑが起動していると更新は失敗します。\r\n"
    "その場合は、対象ﾌﾟﾛｸﾞﾗﾑを終了して再度更新ボタンを押下してください。";
inline const std::string kLeaveUnfinished =
    "更新ﾌｧｲﾙがあります。\r\n未処理のまま終了してもよろしいですか？";
inline const std::string kProgramNotStarted = "下記ﾌﾟﾛｸﾞﾗﾑの起動に失敗しました。\r\n\r\n";
inline const std::string kDocumentNotOpened = "下記ﾄﾞｷｭﾒﾝﾄが開けません。\r\n\r\n";

// Captions, buttons, the menu item, the dialogs' font.
inline const std::string kMainCaption = "[%s] を更新 by Tovarind"; // %s: the Title
// The main dialog's caption for a Title, which goes in as written.
inline std::string MainCaption(const std::string& title) {
    std::string caption = kMainCaption;
    return caption.replace(caption.find("%s"), 2, title);
}
inline const std::string kAboutCaption = "Tovarindのﾊﾞｰｼﾞｮﾝ情報";
inline const std::string kAboutMenuItem = "Tovarind のﾊﾞｰｼﾞｮﾝ情報(&A)...";
inline const std::string kCheckButton = "WEB接続し更新をﾁｪｯｸ";
inline const std::string kUpdateButton = "更新";
inline const std::string kExitButton = "終了";
inline const std::string kAbortButton = "中止";
inline const std::string kDialogFont = "ＭＳ Ｐゴシック";

// The update list: its column headers, left to right, and the marks.
inline const std::string kColumnHeaders[] = {"No.", "ﾊﾟｽ / ﾌｧｲﾙ名", "上:ﾛｰｶﾙ 下:ｱｰｶｲﾌﾞ", "ｻｲｽﾞ",
                                             "処理"};
inline const std::string kMarkNotCompared = "－";
inline const std::string kMarkNeedsUpdate = "更";
inline const std::string kMarkUnchanged = "同";
inline const std::string kMarkUpdated = "済";
inline const std::string kMarkFailed = "×";

} // namespace texts

#pragma once
#include <string>

#include "framework/CommandLine.h"

// Takes a settings file name from the command line: the last argument that
// names something existing in the program folder wins; others are ignored.
class UpdaterCommandLine : public CCommandLineInfo {
  public:
    explicit UpdaterCommandLine(std::string moduleFolder)
        : moduleFolder_(std::move(moduleFolder)) {}

    void ParseParam(const char* param, bool isFlag, bool isLast) override;

    std::string m_strSettingsName; // relative to the program folder; empty: the default

  private:
    std::string moduleFolder_;
};

#include <gtest/gtest.h>
#include <windows.h>

#include <utility>

#include "win/ScopedHandle.h"

namespace {

bool IsOpen(HANDLE handle) {
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}

HANDLE NewEvent() {
    return CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

TEST(ScopedHandle, OwnsOneHandleAcrossResetReleaseAndMove) {
    HANDLE first = NewEvent();
    HANDLE second = NewEvent();
    {
        ScopedKernelHandle owner(first);
        owner.reset(second); // the old one closes, the new one is held
        EXPECT_FALSE(IsOpen(first));
        EXPECT_TRUE(IsOpen(second));

        ScopedKernelHandle moved(std::move(owner));
        EXPECT_FALSE(owner);
        EXPECT_EQ(moved.get(), second);

        HANDLE third = NewEvent();
        ScopedKernelHandle other(third);
        other = std::move(moved); // assignment closes what it held
        EXPECT_FALSE(IsOpen(third));
        EXPECT_FALSE(moved);
        EXPECT_EQ(other.get(), second);

        other.reset(other.get()); // the same handle again is not closed
        EXPECT_TRUE(IsOpen(second));
        EXPECT_EQ(other.release(), second);
        EXPECT_FALSE(other);
    }
    EXPECT_TRUE(IsOpen(second)); // released: the caller's to close
    CloseHandle(second);
}

TEST(ScopedHandle, InvalidValueFollowsTheTraits) {
    EXPECT_FALSE(ScopedFile(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(ScopedKernelHandle(nullptr));
    EXPECT_FALSE(ScopedFind());
}

TEST(ScopedSelectObject, SelectsForItsLifeAndRestores) {
    const ScopedMemoryDc dc(CreateCompatibleDC(nullptr));
    ASSERT_TRUE(dc);
    const ScopedGdiObject brush(CreateSolidBrush(RGB(1, 2, 3)));
    HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_BRUSH);
    {
        const ScopedSelectObject selected(dc.get(), brush.get());
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), brush.get());
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);
    {
        const ScopedSelectObject nothing(dc.get(), nullptr);
        EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);
    }
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BRUSH), before);
}

} // namespace

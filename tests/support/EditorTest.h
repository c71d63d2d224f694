// The fixture of the tests of the editor windows: the entry pool, the package list window and
// the package editor with its item list and field editors installed, the harness cleared; at
// the end every package file is closed without saving. Header only: its users link the shell.
#pragma once
#include "editor/PackageEditor.h"
#include "listwin/ListWindow.h"
#include "shell/FileCommands.h"
#include "tests/support/EditorTexts.h"
#include "tests/support/Files.h"
#include "tests/support/Library.h"
#include "tests/support/gui/gui_support.h"

#include "toolbox/harness/Harness.h"

#include <QAbstractButton>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace test_support {

// The records of the open windows, front to back, that `of` finds (editorOfWindow,
// fieldEditorOfWindow).
template <class Of> auto windowRecords(Of of) {
    std::vector<decltype(of(nullptr))> out;
    for (WindowPtr w = GetNextWindow(nullptr); w; w = GetNextWindow(w))
        if (auto r = of(w)) out.push_back(r);
    return out;
}

// A click on the pane's button with this label (a radio button of the header).
inline void clickButton(WindowPtr pane, const char* label) {
    for (QAbstractButton* b : harness::ViewWidget(pane)->findChildren<QAbstractButton*>())
        if (b->text() == label) b->click();
}

class EditorTest : public ScratchTest {
protected:
    void SetUp() override {
        ASSERT_EQ(initEntryPool(), noErr);
        ResetHarnessState();
    }
    void TearDown() override {
        while (PackageFile* f = firstPackageFile())
            ASSERT_EQ(closeFile(f, CloseMode::forced), CloseResult::closed);
        ResetHarnessState();
    }
    // The package file at path, written with these images and opened, its first package in the
    // editor.
    void openEditing(std::vector<UniqueHandle> images) {
        writeRecordFile(path, images);
        ASSERT_NE(file = openFile(path), nullptr);
        ASSERT_NE(editor = openEditor(entryAt(file, 0)), nullptr);
    }
    template <class... More> void openEditing(UniqueHandle image, More... more) {
        std::vector<UniqueHandle> images;
        (images.push_back(std::move(image)), ..., images.push_back(std::move(more)));
        openEditing(std::move(images));
    }
    PackageFile* file = nullptr;
    PackageEditor* editor = nullptr;
};

} // namespace test_support

// Hook points through which code other than the user can answer what the host layer would
// otherwise wait for a person for, or read from the hardware: an automation, or the test
// harness. Every hook is optional; with none installed (the default) the real behaviour runs:
// modal windows wait for the user, the pointer and the keyboard are the host's, a beep sounds.
#pragma once
#include "resources/Types.h"
#include <QPoint>
#include <Qt>
#include <cstdint>
#include <string>

struct DialogRecord; // Dialogs.h: DialogPtr

// What a file dialog is asked to show.
struct FileDialogRequest {
    bool put = false;        // StandardPutFile
    std::string prompt;      // the put dialog's prompt
    std::string defaultName; // the put dialog's proposed name
    std::string filterPairs; // "description|pattern|..."
    int filterIndex = 0;     // the filter shown first
    std::string folder;      // the folder shown first
};

struct FileDialogAnswer {
    bool cancel = true;
    std::string path;
    int filterIndex = -1; // -1: the filter shown first stays
};

// Answers for everything modal. The answering hooks return true when they answered, which
// stands in for the host's window.
struct ModalAnswerer {
    // A template dialog is built and its modal loop is about to start; the answerer may act on
    // it from that loop with the functions of Dialogs.h that do what a user would.
    void (*dialogStarting)(DialogRecord* dialog) = nullptr;
    // The dialog's modal loop ended with item; its items can still be read.
    void (*dialogEnded)(DialogRecord* dialog, std::int16_t item) = nullptr;
    bool (*fileDialog)(const FileDialogRequest& request, FileDialogAnswer* answer) = nullptr;
    bool (*noteAlert)(const std::string& text) = nullptr;
    // A popup menu about to show at r (local coordinates): *item is the item chosen, 0 for none.
    bool (*popUpMenu)(int menuId, int currentItem, const Rect& r, int* item) = nullptr;
};

// Where tracking loops and keyboard-state queries read the user's input from. Each hook returns
// true when it answered (the result in *down or *global); false leaves it to the host.
struct InputSource {
    bool (*stillDown)(bool* down) = nullptr; // StillDown; may move the pointer on
    bool (*button)(bool* down) = nullptr;    // Button
    bool (*pointer)(QPoint* global) = nullptr;
    void (*pressStarted)() = nullptr; // a mouse press reached a window
    bool (*modifierDown)(Qt::KeyboardModifier key, bool* down) = nullptr; // Control and Shift
    bool (*beep)() = nullptr; // SysBeep: true when it stands in for the host's beep
};

// Each installs its hooks and returns the ones it replaces.
ModalAnswerer SetModalAnswerer(const ModalAnswerer& answerer);
const ModalAnswerer& GetModalAnswerer();
InputSource SetInputSource(const InputSource& source);
const InputSource& GetInputSource();

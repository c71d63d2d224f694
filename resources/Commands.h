// The menu ids of the menu bar and the command numbers of their items, for the menu resources,
// the toolbox and the windows alike. A command is its menu's id times 100 plus the item's number;
// the enabling pass asks about each menu's own id (its title) before its items. Window menu
// entry i is command 500 + i; About is the Help menu's one item.
#pragma once
#include <cstdint>

enum : std::int16_t {
    // The menus of the menu bar (their title ids).
    kCmdFileMenu = 200,
    kCmdEditMenu = 300,
    kCmdPackageMenu = 400,
    kCmdWindowMenu = 500,
    kCmdHelpMenu = 600,

    // File
    kCmdNew = 201,
    kCmdOpen = 202,
    kCmdClose = 203,
    kCmdSave = 204,
    kCmdSaveAsText = 205,
    kCmdExit = 208,
    kCmdRevertFile = 210,

    // Edit
    kCmdUndo = 301,
    kCmdCut = 302,
    kCmdCopy = 303,
    kCmdPaste = 304,
    kCmdDelete = 305,
    kCmdSelectAll = 306,
    kCmdDuplicate = 310,

    // Package
    kCmdCreate = 401,
    kCmdOpenEditor = 402,
    kCmdRevertPackage = 403,
    kCmdFind = 404,
    kCmdFindAgain = 405,

    // Window: one entry per window, at most kMaxWindowMenuEntries.
    kCmdFirstWindow = 501,

    // Help
    kCmdAbout = 32050
};

constexpr int kMaxWindowMenuEntries = 80;
constexpr std::int16_t kCmdLastWindow = kCmdFirstWindow + kMaxWindowMenuEntries - 1;

// Whether command is the title or an item of the menu (200: 200 to 299).
constexpr bool commandInMenu(std::int16_t command, std::int16_t menu) {
    return command >= menu && command < menu + 100;
}

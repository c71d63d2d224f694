#include "resources/MenuData.h"
#include "resources/Commands.h"

namespace {

constexpr MenuItemData kSeparator{0, ""};

constexpr MenuItemData kBar[] = {
    {kCmdFileMenu, "File"},     {kCmdEditMenu, "Edit"}, {kCmdPackageMenu, "Package"},
    {kCmdWindowMenu, "Window"}, {kCmdHelpMenu, "Help"},
};

constexpr MenuItemData kPopups[] = {
    {700, "shapes"}, {800, "ccp"}, {900, "euro"}, {1000, "fltpk"}, {1100, "lists"},
};

constexpr MenuItemData kFile[] = {
    {kCmdNew, "New...`N"},
    {kCmdOpen, "Open...`O"},
    kSeparator,
    {kCmdClose, "Close`W"},
    {kCmdSave, "Save`S"},
    {kCmdSaveAsText, "Save As Text...`T"},
    {kCmdRevertFile, "Revert File"},
    kSeparator,
    {kCmdExit, "E&xit"},
};

constexpr MenuItemData kEdit[] = {
    {kCmdUndo, "&Undo`Z"},
    kSeparator,
    {kCmdCut, "Cu&t`X"},
    {kCmdCopy, "&Copy`C"},
    {kCmdPaste, "&Paste`V"},
    {kCmdDelete, "De&lete"},
    kSeparator,
    {kCmdDuplicate, "Duplicate`D"},
    {kCmdSelectAll, "Select All`A"},
};

constexpr MenuItemData kPackage[] = {
    {kCmdCreate, "Create...`K"},
    {kCmdOpenEditor, "Open Editor`E"},
    kSeparator,
    {kCmdRevertPackage, "Revert Package"},
    kSeparator,
    {kCmdFind, "Find...`F"},
    {kCmdFindAgain, "Find Again`G"},
};

constexpr MenuItemData kWindow[] = {{kCmdFirstWindow, "Empty"}};

constexpr MenuItemData kHelp[] = {{kCmdAbout, "About Ortix-Kelvane..."}};

constexpr MenuItemData kShapes[] = {
    {701, "Custom"}, kSeparator,       {703, "ARRY"},   {704, "CCP"},     {705, "EURO"},
    {706, "FLTPK"},  {707, "HDBS"},    {708, "HDIP"},   {709, "HEDGCON"}, {710, "HSMDIP"},
    {711, "HSOT"},   {712, "PADPR"},   {713, "PADS"},   {714, "TOS"},     {715, "VDBS"},
    {716, "VDIP"},   {717, "VEDGCON"}, {718, "VSMDIP"}, {719, "VSOT"},
};

constexpr MenuItemData kCcp[] = {
    {801, "16  .250 Sq LCC"}, {802, "16  .300 Sq LCC"},  {803, "18  .250 Sq LCC"},
    {804, "18  .350 Sq LCC"}, {805, "18  .410 Sq LCC"},  {806, "20  .350 Sq LCC"},
    {807, "22  .340 Sq LCC"}, {808, "24  .340 Sq LCC"},  {809, "24  .400 Sq LCC"},
    {810, "28  .400 Sq LCC"}, {811, "28  .450 Sq LCC"},  {812, "28  .550 Sq LCC"},
    {813, "32  .550 Sq LCC"}, {814, "44  .650 Sq LCC"},  {815, "52  .750 Sq LCC"},
    {816, "68  .950 Sq LCC"}, {817, "84  1.150 Sq LCC"},
};

constexpr MenuItemData kEuro[] = {
    {901, "64 Pin A-B"},
    {902, "64 Pin A-C"},
    {903, "96 Pin A-B-C"},
};

constexpr MenuItemData kFltpk[] = {
    {1001, "28  Mini Flat Pack"},
    {1002, "40  Mini Flat Pack"},
    {1003, "44  Mini Flat Pack"},
    {1004, "68  Mini Flat Pack"},
};

constexpr MenuItemData kLists[] = {
    {1101, "Component Sections"},
    {1102, "Hidden Connections"},
};

constexpr MenuData kMenus[] = {
    {kMenuBarList, "", kBar},
    {kPopupMenuList, "", kPopups},
    {kCmdFileMenu, "File", kFile},
    {kCmdEditMenu, "Edit", kEdit},
    {kCmdPackageMenu, "Package", kPackage},
    {kCmdWindowMenu, "Window", kWindow},
    {kCmdHelpMenu, "Help", kHelp},
    {700, "shapes", kShapes},
    {800, "ccp", kCcp},
    {900, "euro", kEuro},
    {1000, "fltpk", kFltpk},
    {1100, "lists", kLists},
};

} // namespace

const MenuData* FindMenuData(int id) {
    for (const MenuData& m : kMenus)
        if (m.id == id) return &m;
    return nullptr;
}

std::span<const MenuData> AllMenuData() {
    return kMenus;
}

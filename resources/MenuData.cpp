#include "resources/MenuData.h"

namespace {

constexpr MenuItemData kSeparator{0, ""};

constexpr MenuItemData kBar[] = {
    {200, "File"}, {300, "Edit"}, {400, "Package"}, {500, "Window"}, {600, "Help"},
};

constexpr MenuItemData kPopups[] = {
    {700, "shapes"}, {800, "ccp"}, {900, "euro"}, {1000, "fltpk"}, {1100, "lists"},
};

constexpr MenuItemData kFile[] = {
    {201, "New...`N"},          {202, "Open...`O"},   kSeparator, {203, "Close`W"}, {204, "Save`S"},
    {205, "Save As Text...`T"}, {210, "Revert File"}, kSeparator, {208, "E&xit"},
};

constexpr MenuItemData kEdit[] = {
    {301, "&Undo`Z"}, kSeparator, {302, "Cu&t`X"},      {303, "&Copy`C"},      {304, "&Paste`V"},
    {305, "De&lete"}, kSeparator, {310, "Duplicate`D"}, {306, "Select All`A"},
};

constexpr MenuItemData kPackage[] = {
    {401, "Create...`K"}, {402, "Open Editor`E"}, kSeparator, {403, "Revert Package"}, kSeparator,
    {404, "Find...`F"},   {405, "Find Again`G"},
};

constexpr MenuItemData kWindow[] = {{501, "Empty"}};

constexpr MenuItemData kHelp[] = {{32050, "About Ortix-Kelvane..."}};

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
    {kMenuBarList, "", kBar}, {kPopupMenuList, "", kPopups}, {200, "File", kFile},
    {300, "Edit", kEdit},     {400, "Package", kPackage},    {500, "Window", kWindow},
    {600, "Help", kHelp},     {700, "shapes", kShapes},      {800, "ccp", kCcp},
    {900, "euro", kEuro},     {1000, "fltpk", kFltpk},       {1100, "lists", kLists},
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

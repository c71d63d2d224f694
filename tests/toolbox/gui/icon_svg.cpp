#include "icon_svg.h"

#include "resources/Icons.h"

#include <cstdio>
#include <span>

namespace {

void appendColour(std::string& out, const char* attr, std::uint32_t rgb) {
    char buf[40];
    if (rgb == kNoColour)
        std::snprintf(buf, sizeof buf, " %s=\"none\"", attr);
    else
        std::snprintf(buf, sizeof buf, " %s=\"#%06X\"", attr, rgb & 0xFFFFFF);
    out += buf;
}

} // namespace

std::string IconSvg(int id) {
    std::span<const IconShape> shapes = IconShapes(id);
    if (shapes.empty()) return {};
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                      "viewBox=\"0 0 64 64\">\n";
    char buf[160];
    for (const IconShape& s : shapes) {
        const std::int16_t* c = s.coords;
        switch (s.kind) {
        case IconShape::rect:
        case IconShape::roundRect:
            std::snprintf(buf, sizeof buf, "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"",
                          c[0], c[1], c[2], c[3]);
            out += buf;
            if (s.kind == IconShape::roundRect) {
                std::snprintf(buf, sizeof buf, " rx=\"%d\"", s.radius);
                out += buf;
            }
            break;
        case IconShape::ellipse:
            std::snprintf(buf, sizeof buf, "  <ellipse cx=\"%g\" cy=\"%g\" rx=\"%g\" ry=\"%g\"",
                          c[0] + c[2] / 2.0, c[1] + c[3] / 2.0, c[2] / 2.0, c[3] / 2.0);
            out += buf;
            break;
        case IconShape::polygon:
            out += s.fill == kNoColour ? "  <polyline points=\"" : "  <polygon points=\"";
            for (int i = 0; i < s.pointCount; ++i) {
                std::snprintf(buf, sizeof buf, "%s%d,%d", i ? " " : "", c[2 * i], c[2 * i + 1]);
                out += buf;
            }
            out += "\"";
            break;
        }
        appendColour(out, "fill", s.fill);
        appendColour(out, "stroke", s.stroke);
        if (s.stroke != kNoColour) {
            std::snprintf(buf, sizeof buf, " stroke-width=\"%d\" stroke-linejoin=\"round\"",
                          s.strokeWidth);
            out += buf;
        }
        out += "/>\n";
    }
    out += "</svg>\n";
    return out;
}

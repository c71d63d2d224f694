#include "icon_svg.h"

#include "resources/Icons.h"

#include <cstdio>
#include <span>

namespace {

// Appends the printf-style text to out.
template <class... Args> void append(std::string& out, const char* format, Args... args) {
    char buf[160];
    std::snprintf(buf, sizeof buf, format, args...);
    out += buf;
}

void appendColour(std::string& out, const char* attr, std::uint32_t rgb) {
    if (rgb == kNoColour)
        append(out, " %s=\"none\"", attr);
    else
        append(out, " %s=\"#%06X\"", attr, rgb & 0xFFFFFF);
}

} // namespace

std::string IconSvg(int id) {
    std::span<const IconShape> shapes = IconShapes(id);
    if (shapes.empty()) return {};
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                      "viewBox=\"0 0 64 64\">\n";
    for (const IconShape& s : shapes) {
        const std::int16_t* c = s.coords;
        switch (s.kind) {
        case IconShape::rect:
        case IconShape::roundRect:
            append(out, "  <rect x=\"%d\" y=\"%d\" width=\"%d\" height=\"%d\"", c[0], c[1], c[2],
                   c[3]);
            if (s.kind == IconShape::roundRect) append(out, " rx=\"%d\"", s.radius);
            break;
        case IconShape::ellipse:
            append(out, "  <ellipse cx=\"%g\" cy=\"%g\" rx=\"%g\" ry=\"%g\"", c[0] + c[2] / 2.0,
                   c[1] + c[3] / 2.0, c[2] / 2.0, c[3] / 2.0);
            break;
        case IconShape::polygon:
            out += s.fill == kNoColour ? "  <polyline points=\"" : "  <polygon points=\"";
            for (int i = 0; i < s.pointCount; ++i)
                append(out, "%s%d,%d", i ? " " : "", c[2 * i], c[2 * i + 1]);
            out += "\"";
            break;
        }
        appendColour(out, "fill", s.fill);
        appendColour(out, "stroke", s.stroke);
        if (s.stroke != kNoColour)
            append(out, " stroke-width=\"%d\" stroke-linejoin=\"round\"", s.strokeWidth);
        out += "/>\n";
    }
    return out + "</svg>\n";
}

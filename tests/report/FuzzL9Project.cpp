#include "FuzzL9Project.h"

#include "report/L9Project.h"

#include <string>

namespace vfuzz {

int FuzzL9ProjectReader(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        const TL9Layout layout = ReadL9Layout(text);
        const TL9PageGeometry g = L9Geometry(layout);
        // The geometry must describe a usable page whatever the project said.
        if (g.LinesPerPage < 1 || g.ColumnX.size() != layout.DataLine.size() || !(g.Scale > 0) || g.Scale > 1)
            __builtin_trap();
        L9FooterText(layout.FooterLeft + layout.FooterRight, 1, 2, "01.01.2026");
    } catch (const EL9ProjectError&) {
        // a project the engine cannot read: the error is the answer
    }
    return 0;
}

} // namespace vfuzz

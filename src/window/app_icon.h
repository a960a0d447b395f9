#pragma once
#include <QIcon>

namespace larkspire {
// The program's icon, drawn from the SVG compiled into the program.
QIcon applicationIcon();
} // namespace larkspire

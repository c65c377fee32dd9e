// The font of the program's windows: MS Sans Serif 8 point where the desktop
// has it, otherwise the closest narrow sans-serif font it has.
#pragma once

#include <QFont>

namespace norrvik {

QFont WindowFont();

} // namespace norrvik

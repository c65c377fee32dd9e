// The window's icon: the desktop theme's "norrvik" icon when one is
// installed, otherwise the same picture drawn here (packaging/norrvik.svg:
// a powder pattern's lines, an arrow, a database).
#pragma once

#include <QIcon>

namespace norrvik {

QIcon WindowIcon();

} // namespace norrvik

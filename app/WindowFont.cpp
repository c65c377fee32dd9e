// The font of the program's windows.
#include "app/WindowFont.h"

#include <QStringList>

namespace norrvik {

QFont WindowFont()
{
    // Where the first family is missing the next ones come close to its
    // widths, so the labels keep clear of the boxes they name.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans")});
    font.setPointSize(8);
    return font;
}

} // namespace norrvik

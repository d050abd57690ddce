#include "widgets/fonts.h"

#include <QDir>
#include <QFont>
#include <QFontDatabase>

namespace tivaro {

void InstallFonts() {
    static bool installed = false;
    if (installed) return;
    installed = true;
    const QDir wine(QStringLiteral("/usr/share/wine/fonts"));
    QString tahoma;
    for (const QString& file : wine.entryList({QStringLiteral("tahoma*.ttf")}, QDir::Files, QDir::Name)) {
        const int id = QFontDatabase::addApplicationFont(wine.filePath(file));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (tahoma.isEmpty() && !families.isEmpty()) tahoma = families.first();
    }
    // Without the Wine file "MS Sans Serif" falls back to the default sans font.
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"),
                              tahoma.isEmpty() ? QStringLiteral("Liberation Sans") : tahoma);
    QFont::insertSubstitution(QStringLiteral("Verdana"), QStringLiteral("DejaVu Sans"));
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
}

}  // namespace tivaro

#include "gui/catalogue.h"

#include <QTranslator>

namespace orvanta {

bool loadCatalogue(QTranslator &translator, const QString &localeName) {
    return translator.load(QStringLiteral(":/translations/_") + localeName);
}

bool loadQtCatalogue(QTranslator &translator, const QString &localeName) {
    return translator.load(QStringLiteral(":/translations/qtbase_") + localeName);
}

} // namespace orvanta

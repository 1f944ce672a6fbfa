#include "gui/catalogue.h"

#include <QTranslator>

namespace orvanta {

bool loadCatalogue(QTranslator &translator, const QString &localeName) {
    return translator.load(QStringLiteral(":/translations/_") + localeName);
}

} // namespace orvanta

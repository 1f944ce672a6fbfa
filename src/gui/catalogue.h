#pragma once

#include <QString>

class QTranslator;

namespace orvanta {

// Loads the compiled-in catalogue for a locale name such as "de_AT" into translator. Qt's lookup
// cuts the name back at "_" and "." until a catalogue exists, so "de_AT" finds the German one;
// a locale without a catalogue leaves the translator empty and yields false.
bool loadCatalogue(QTranslator &translator, const QString &localeName);

// The same for Qt's own texts (the standard buttons' "Cancel" and the like), whose catalogue of
// that language is compiled in beside ours. English has none: Qt's texts are English already.
bool loadQtCatalogue(QTranslator &translator, const QString &localeName);

} // namespace orvanta

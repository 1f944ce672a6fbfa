#pragma once

#include <QString>

class QTranslator;

namespace orvanta {

// Loads the compiled-in catalogue for a locale name such as "de_AT" into translator. Qt's lookup
// cuts the name back at "_" and "." until a catalogue exists, so "de_AT" finds the German one;
// a locale without a catalogue leaves the translator empty and yields false.
bool loadCatalogue(QTranslator &translator, const QString &localeName);

} // namespace orvanta

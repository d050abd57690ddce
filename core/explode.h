#pragma once
// The string splitter of the manager window: the pieces of a text between
// occurrences of a separator. Pure function, any thread.

#include <QString>
#include <QStringList>

namespace tivaro {

// Pieces of S between occurrences of Separator (exact, case-sensitive).
// - S empty or Limit < 0: no pieces. Separator empty: S whole, as one piece.
// - S is scanned as a zero-terminated text: nothing after the first U+0000 is looked at.
// - A separator at the start gives an empty first piece, two in a row an empty piece
//   between them, one at the very end no trailing piece.
// - Limit > 0: at most Limit pieces; the last one holds the rest of the text,
//   separators included.
QStringList Explode(const QString& Separator, const QString& S, int Limit);

}  // namespace tivaro

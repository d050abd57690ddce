#include "core/explode.h"

namespace tivaro {

QStringList Explode(const QString& Separator, const QString& S, int Limit) {
    QStringList result;
    if (S.isEmpty() || Limit < 0) return result;
    if (Separator.isEmpty()) {
        result.append(S);
        return result;
    }
    if (Limit > 0) result.reserve(Limit);

    const qsizetype nul = S.indexOf(QChar(u'\0'));
    const qsizetype end = nul < 0 ? S.size() : nul;
    const QStringView text = QStringView(S).left(end);
    qsizetype pos = 0;
    while (pos < end) {
        const bool last = Limit > 0 && result.size() + 1 == Limit;
        const qsizetype hit = last ? -1 : text.indexOf(Separator, pos);
        if (hit < 0) {
            result.append(text.mid(pos).toString());
            pos = end;
        } else {
            result.append(text.mid(pos, hit - pos).toString());
            pos = hit + Separator.size();
        }
    }
    return result;
}

}  // namespace tivaro

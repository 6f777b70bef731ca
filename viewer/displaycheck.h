#ifndef DISPLAYCHECK_H
#define DISPLAYCHECK_H

#include <QString>
#include <QStringList>

namespace DisplayCheck {

// Why none of the displays that Qt's platform would open answers, or an empty string
// when one does, or when the platform named needs no display (offscreen, minimal).
// Qt itself would abort in that case, with advice that does not fit.
QString unreachable(const QStringList &arguments);

} // namespace DisplayCheck

#endif // DISPLAYCHECK_H

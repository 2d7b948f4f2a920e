#include "text/FileNames.h"

namespace lorimet {

QString filterExtension(const QString& filter) {
    const QString pattern = filter.section(u'|', -1).trimmed();
    const qsizetype dot = pattern.lastIndexOf(u'.');
    if (dot < 0)
        return QString();
    QString extension = pattern.mid(dot + 1);
    extension.remove(u')');
    return extension.contains(u'*') ? QString() : extension;
}

QString withExtension(const QString& path, const QString& extension) {
    if (extension.isEmpty() || path.isEmpty())
        return path;
    const QString ending = u'.' + extension;
    if (path.endsWith(ending, Qt::CaseInsensitive) && path.size() > ending.size() &&
        path[path.size() - ending.size() - 1] != u'/')
        return path;
    return path + ending;
}

} // namespace lorimet

#include "shell/app_title.h"

#include <cxxabi.h>

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cstdlib>
#include <memory>
#include <typeinfo>

#include "core/command_boundary.h"

namespace tivaro {

QString DeriveTitle(const QString& programPath) {
    const qsizetype slash =
        std::max(programPath.lastIndexOf(QLatin1Char('/')), programPath.lastIndexOf(QLatin1Char('\\')));
    QString name = programPath.mid(slash + 1);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString StartedProgramPath(const QString& argv0, const QString& workingDir, const QString& searchPath) {
    if (argv0.contains(QLatin1Char('/'))) return QDir::cleanPath(QDir(workingDir).absoluteFilePath(argv0));
    for (const QString& dir : searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString candidate = QDir(QDir(workingDir).absoluteFilePath(dir)).filePath(argv0);
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable()) return QDir::cleanPath(candidate);
    }
    return QDir::cleanPath(QDir(workingDir).absoluteFilePath(argv0));
}

QString LastResortText(const QString& className, const QString& moduleName, const void* address,
                       const QString& message) {
    const QString addr =
        QStringLiteral("%1")
            .arg(reinterpret_cast<quintptr>(address), int(sizeof(void*) * 2), 16, QLatin1Char('0'))
            .toUpper();
    return QStringLiteral("Exception %1 in Modul %2 bei %3.\r\n%4\r\n")
        .arg(className, moduleName, addr, WithFullStop(message));
}

QString ErrorClassName(const std::exception& error) {
    const char* mangled = typeid(error).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(abi::__cxa_demangle(mangled, nullptr, nullptr, &status),
                                                     std::free);
    return QString::fromUtf8(status == 0 && demangled ? demangled.get() : mangled);
}

}  // namespace tivaro

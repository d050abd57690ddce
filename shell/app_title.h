#pragma once
// The application's identity taken from the program file: its title and the
// path it was started from. Pure functions; any thread.

#include <QString>
#include <exception>

namespace tivaro {

// The program file's name without its directory, cut at its first ".", every
// character after the first lower-cased: "/opt/NetTool.Setup.EXE" -> "Nettool",
// "netTool.exe" -> "nettool". A "\" counts as a directory separator too.
QString DeriveTitle(const QString& programPath);

// The program file's full path as it was started (argv[0] made absolute against
// workingDir, or looked up on searchPath when it has no "/"), cleaned of "."
// and ".." but with symbolic links left as spelled.
QString StartedProgramPath(const QString& argv0, const QString& workingDir, const QString& searchPath);

// The last-resort text for an error that escapes start-up:
// "Exception <class> in Modul <module> bei <address>.\r\n<message><.>\r\n".
QString LastResortText(const QString& className, const QString& moduleName, const void* address,
                       const QString& message);

// Readable class name of the error (demangled dynamic type).
QString ErrorClassName(const std::exception& error);

}  // namespace tivaro

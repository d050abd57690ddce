#include "shell/application.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "core/command_boundary.h"
#include "shell/app_title.h"
#include "shell/instance_guard.h"
#include "shell/registry_file.h"
#include "shell/widget_placement.h"
#include "widgets/error_box.h"
#include "widgets/message_box.h"

static void initShellResources() { Q_INIT_RESOURCE(shell); }

namespace tivaro {

namespace {

int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe work here: one byte into the pipe.
extern "C" void onTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

QString startedPath(const char* argv0) {
    return StartedProgramPath(QFile::decodeName(argv0), QDir::currentPath(),
                              QString::fromLocal8Bit(qgetenv("PATH")));
}

}  // namespace

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv),
      m_programPath(startedPath(argc > 0 ? argv[0] : "")),
      m_title(DeriveTitle(m_programPath)) {
    initShellResources();
    setApplicationName(m_title);
    setApplicationVersion(QStringLiteral("1.0.0.0"));
    setWindowIcon(QIcon(QStringLiteral(":/tivaro/app_icon.png")));
    setQuitOnLastWindowClosed(false);  // closing the main window ends the program, nothing else does
    SetStandardErrorDisplay(ShowStandardErrorBox);
}

Application::~Application() { shutdownStep(); }

void Application::Terminate() {
    QMetaObject::invokeMethod(this, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Application::HandleException(const std::exception& error) {
    if (QWidget* grabber = QWidget::mouseGrabber()) grabber->releaseMouse();
    ShowException(error);
}

void Application::ShowException(const std::exception& error) { ShowError(error); }

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        HandleException(e);
    } catch (...) {
        HandleException(std::runtime_error("Unbekannter Fehler"));
    }
    return false;
}

int Application::Run(const CreateShellForms& createForms) {
    // The guard registers while the main window is being built and checks once
    // its parts exist; a refused copy leaves before any window or listener exists.
    InstanceGuard::Options options;
    options.programPath = m_programPath;
    m_guard = std::make_unique<InstanceGuard>(options);
    m_guard->Register();
    if (!m_guard->Check(arguments().mid(1))) {
        std::fflush(nullptr);
        std::_Exit(0);
    }

    m_forms = createForms(*this);
    QWidget* form1 = m_forms->MainForm();
    if (!m_mainForm) m_mainForm = form1;

    m_store = std::make_unique<RegistryFileStorage>();
    m_placement = std::make_unique<FormPlacementHook>(*form1, m_store.get(), true);
    m_placement->SetClosedHandler([this] { Terminate(); });

    QPointer<QWidget> target(form1);
    m_guard->SetActivationHandler([target] {
        if (!target) return;
        if (target->isMinimized()) target->showNormal();
        target->show();
        target->raise();
        target->activateWindow();
    });
    m_guard->SetStateProvider([target]() -> std::uint32_t {
        if (!target) return 0;
        return (target->isVisible() ? 1u : 0u) | (target->isMinimized() ? 2u : 0u) |
               (target->isActiveWindow() ? 4u : 0u);
    });

    // The end of the desktop session arrives as a signal.
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_signalNotifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, this);
        connect(m_signalNotifier, &QSocketNotifier::activated, this, [this] { sessionEnd(); });
        struct sigaction sa {};
        sa.sa_handler = onTerminationSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::sigaction(sig, &sa, nullptr);
    }

    form1->show();  // the show step: placement restored, FormShow, centring
    exec();
    m_terminated = true;
    shutdownStep();
    return 0;
}

void Application::sessionEnd() {
    char drain[16];
    while (::read(g_signalPipe[0], drain, sizeof drain) > 0) {
    }
    // The end query asks the main window to close (which stores the placement),
    // then the program ends at once through the shutdown step. Nobody is left
    // to click a box at the session's end: errors go to stderr instead.
    SetErrorDisplay([this](const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(m_title),
                     qPrintable(WithFullStop(ErrorMessageText(error))));
    });
    if (m_forms && m_forms->MainForm()->isVisible()) m_forms->MainForm()->close();
    shutdownStep();
    std::fflush(nullptr);
    std::_Exit(0);
}

void Application::shutdownStep() {
    if (m_shutDown) return;
    m_shutDown = true;
    // The listener's threads end before either window goes, so no datagram can
    // reach a window that is being destroyed.
    if (m_forms) {
        m_forms->StopTransport();
        m_forms->DestroyDialog();
    }
    if (m_placement) m_placement->DestroyStep();
    m_placement.reset();
    m_forms.reset();
    m_mainForm = nullptr;
    if (m_guard) m_guard->Deregister();
    m_guard.reset();
    if (m_signalNotifier) {
        for (int sig : {SIGTERM, SIGHUP, SIGINT}) ::signal(sig, SIG_DFL);
        delete m_signalNotifier;
        m_signalNotifier = nullptr;
        ::close(g_signalPipe[0]);
        ::close(g_signalPipe[1]);
        g_signalPipe[0] = g_signalPipe[1] = -1;
    }
}

int Application::LastResort(const std::exception& error, const QString& programPath) {
    const QString text = LastResortText(ErrorClassName(error), QFileInfo(programPath).fileName(), &error,
                                        ErrorMessageText(error));
    std::fputs(text.toLocal8Bit().constData(), stderr);
    if (qApp) {
        CentredMessageBox box(QMessageBox::Critical, QStringLiteral("Anwendungsfehler"), text, false);
        box.setStandardButtons(QMessageBox::Ok);
        box.setObjectName(QStringLiteral("LastResortBox"));
        box.exec();
    }
    return 1;
}

}  // namespace tivaro

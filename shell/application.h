#pragma once
// The application object: its title from the program file's name, the start-up
// order (single-instance guard, both windows, placement hooks, first show),
// the event loop with its safety net for escaping errors, the end of the
// desktop session (SIGTERM/SIGHUP/SIGINT through a self-pipe) and the shutdown
// order. UI thread only.

#include <QApplication>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <utility>

class QSocketNotifier;

namespace tivaro {

class Application;
class InstanceGuard;
class FormPlacementHook;
class RegistryFileStorage;

// The windows the shell runs, owned in their destruction order. Shutdown
// calls StopTransport, then DestroyDialog, then destroys the owner (and with
// it the main form).
class ShellForms {
public:
    virtual ~ShellForms() = default;
    virtual QWidget* MainForm() const = 0;  // Form1, built hidden, FormCreate done
    virtual void StopTransport() = 0;       // listener stopped and joined, sender closed, hand-over shut
    virtual void DestroyDialog() = 0;       // Form2
};
using CreateShellForms = std::function<std::unique_ptr<ShellForms>(Application&)>;

class Application final : public QApplication {
public:
    Application(int& argc, char** argv);
    ~Application() override;

    QString Title() const { return m_title; }
    QString ProgramPath() const { return m_programPath; }
    bool Terminated() const { return m_terminated; }
    QWidget* MainForm() const { return m_mainForm; }

    // The per-process preparation of the UI thread. QApplication's constructor
    // has done all of it, so nothing is left; start-up still calls it in order.
    void Initialize() {}
    // Builds one window. The first one built becomes MainForm; any later one
    // is an ordinary window and stays hidden until something shows it.
    template <class Form, class... Args>
    std::unique_ptr<Form> CreateForm(Args&&... args) {
        auto form = std::make_unique<Form>(std::forward<Args>(args)...);
        if (!m_mainForm) m_mainForm = form.get();
        return form;
    }

    // Registers with the guard and checks it (a refused copy ends here with
    // exit code 0), builds the windows, hooks the placement store, shows the
    // main window, runs the loop and shuts down in order. Returns 0.
    int Run(const CreateShellForms& createForms);
    // Posts the quit request.
    void Terminate();

    // An error that escaped an event handler: a mouse grab is let go, then
    // ShowException.
    void HandleException(const std::exception& error);
    // The standard error box (caption Title, stop icon, OK).
    void ShowException(const std::exception& error);
    bool notify(QObject* receiver, QEvent* event) override;

    // The last-resort box "Anwendungsfehler" for an error that escaped start-up; returns 1.
    static int LastResort(const std::exception& error, const QString& programPath);

private:
    void sessionEnd();
    void shutdownStep();

    QString m_programPath;
    QString m_title;
    QWidget* m_mainForm = nullptr;
    bool m_terminated = false;
    bool m_shutDown = false;
    std::unique_ptr<ShellForms> m_forms;
    std::unique_ptr<InstanceGuard> m_guard;
    std::unique_ptr<RegistryFileStorage> m_store;
    std::unique_ptr<FormPlacementHook> m_placement;
    QSocketNotifier* m_signalNotifier = nullptr;
};

// TForm1 and TForm2 as the manager runs them, built by app.CreateForm:
// Form1 (FormCreate done) becomes MainForm, Form2 is built hidden and
// connected to it.
std::unique_ptr<ShellForms> CreateManagerForms(Application& app);
// The program: start-up to exit code.
int RunManager(int argc, char** argv);

}  // namespace tivaro

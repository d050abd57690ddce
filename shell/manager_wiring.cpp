// The manager program: TForm1 and TForm2 wired as the shell runs them.
#include <cstdint>
#include <exception>
#include <memory>

#include "UnitMain/manager_window.h"
#include "UnitModul/setup_dialog.h"
#include "shell/application.h"
#include "widgets/confirm_dialog.h"
#include "widgets/fonts.h"
#include "widgets/window_frame.h"

namespace tivaro {

namespace {

// Owns both windows and the confirmation the dialog asks through. The members
// are destroyed in reverse order: Form2 before Form1, the confirmation last.
class ManagerForms final : public ShellForms {
public:
    explicit ManagerForms(Application& app)
        : m_form1(app.CreateForm<TForm1>()), m_form2(app.CreateForm<TForm2>(*m_form1, m_confirmation)) {
        m_form1->setObjectName(QStringLiteral("Form1"));
        m_form2->setObjectName(QStringLiteral("Form2"));
        m_form1->SetSetupDialog(m_form2.get());
        // Both windows are fixed in size and ask for a border and a title only.
        // The manager window handles a close request (it ends the program as
        // "Close" does); the setup dialog ignores one, so it does not offer it.
        constexpr std::uint32_t decorations = kMotifDecorationBorder | kMotifDecorationTitle;
        KeepMotifHints(*m_form1, kMotifFunctionMove | kMotifFunctionClose, decorations);
        KeepMotifHints(*m_form2, kMotifFunctionMove, decorations);
    }
    ~ManagerForms() override { DestroyDialog(); }

    QWidget* MainForm() const override { return m_form1.get(); }
    void StopTransport() override { m_form1->Shutdown(); }
    void DestroyDialog() override {
        m_form1->SetSetupDialog(nullptr);
        m_form2.reset();
    }

private:
    DialogConfirmation m_confirmation;
    std::unique_ptr<TForm1> m_form1;
    std::unique_ptr<TForm2> m_form2;
};

}  // namespace

std::unique_ptr<ShellForms> CreateManagerForms(Application& app) {
    InstallFonts();
    return std::make_unique<ManagerForms>(app);
}

int RunManager(int argc, char** argv) {
    std::unique_ptr<Application> app;
    try {
        app = std::make_unique<Application>(argc, argv);
        app->Initialize();
        return app->Run(CreateManagerForms);
    } catch (const std::exception& e) {
        return Application::LastResort(
            e, app ? app->ProgramPath() : QString::fromLocal8Bit(argc > 0 ? argv[0] : ""));
    }
}

}  // namespace tivaro

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
struct ManagerForms {
    DialogConfirmation confirmation;
    TForm1* form1 = nullptr;
    TForm2* form2 = nullptr;
};
}  // namespace

ShellForms CreateManagerForms(Application& app) {
    InstallFonts();
    auto forms = std::make_shared<ManagerForms>();
    forms->form1 = app.CreateForm<TForm1>();
    forms->form1->setObjectName(QStringLiteral("Form1"));
    forms->form2 = app.CreateForm<TForm2>(*forms->form1, forms->confirmation);
    forms->form2->setObjectName(QStringLiteral("Form2"));
    forms->form1->SetSetupDialog(forms->form2);
    // Both windows are fixed in size and ask for a border and a title only.
    // The manager window handles a close request (it ends the program as
    // "Close" does); the setup dialog ignores one, so it does not offer it.
    constexpr std::uint32_t decorations = kMotifDecorationBorder | kMotifDecorationTitle;
    KeepMotifHints(*forms->form1, kMotifFunctionMove | kMotifFunctionClose, decorations);
    KeepMotifHints(*forms->form2, kMotifFunctionMove, decorations);
    ShellForms shell;
    shell.mainForm = forms->form1;
    shell.stopTransport = [forms] {
        if (forms->form1) forms->form1->Shutdown();
    };
    shell.destroyDialog = [forms] {
        if (forms->form1) forms->form1->SetSetupDialog(nullptr);
        delete forms->form2;
        forms->form2 = nullptr;
    };
    shell.destroyMainForm = [forms] {
        delete forms->form1;
        forms->form1 = nullptr;
    };
    return shell;
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

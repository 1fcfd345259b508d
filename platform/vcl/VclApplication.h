#pragma once
// The application object: a QApplication whose event delivery shows any exception
// that escapes a handler in the error box and goes on, owns the forms it creates,
// and knows the main form (the first form created). The program ends only when
// Terminate is called (or the main form closes); hiding all windows does not end it.
// Qt's own texts (standard dialogs and buttons) come in Polish, as the program's do.

#include "platform/vcl/VclForms.h"

#include <QApplication>
#include <vector>

namespace vcl {

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    ~TApplication() override; // destroys the forms it created, newest first

    // Creates a form owned by the application: constructs it, stores it in ref (so
    // handlers can reach the global during OnCreate), makes the first one the main
    // form, then runs its OnCreate.
    template <class F, class... A>
    void CreateForm(F*& ref, A&&... args)
    {
        F* form = new F(std::forward<A>(args)...);
        ref = form;
        adopt(form);
        form->DoCreate();
    }

    TForm* MainForm() const { return mainForm_; }
    // The program's name for its plain messages (ShowMessage); by default the name of
    // the executable. It is not Qt's display name, which the window system would add
    // to every window title.
    void SetTitle(const QString& title) { setApplicationName(title); }
    void SetMainFormOnTaskBar(bool) {}

    // Shows the main form (its OnShow runs) and runs the message loop until Terminate.
    int Run();
    // Ends the message loop and every loop nested in it (message boxes, modal forms)
    // at once: no window is asked to close, so no close handler runs; ShowModal returns
    // mrCancel. Outside Run it only marks the application terminated.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Clears a Terminate request and forgets the main form, so that the next form
    // created becomes it: tests run one program start after another in one process.
    void Restart();

    bool notify(QObject* receiver, QEvent* event) override;

    // Internal: forget a form that is being destroyed.
    void formDestroyed(TForm* form);

private:
    void adopt(TForm* form);
    std::vector<TForm*> forms_;
    TForm* mainForm_ = nullptr;
    bool terminated_ = false;
    bool running_ = false; // inside Run's message loop
};

// The application object, or nullptr before it exists.
extern TApplication* Application;

// The screen the forms are placed on.
struct Screen {
    static int Height();
};

} // namespace vcl

// The application the end-to-end test dictates into: one text field that holds the X input focus.
// Prints on stdout, one line each:
//   "READY" once the field has the keyboard focus,
//   "TEXT:<text>" whenever the field's text changes (line breaks as "\n"),
//   "CLIPBOARD:<text>" in answer to the command "clipboard" on stdin (the clipboard's plain text),
//   "FOCUS:in" / "FOCUS:out" when the window gains or loses the focus.
// The command "focus" on stdin makes the window take the input focus again; "copy <text>" puts <text> on
// the clipboard, owned by this program.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>
#include <X11/Xlib.h>
#include <unistd.h>
#include <cstdio>

namespace {

void say(const QString& line) {
    QString escaped = line;
    escaped.replace("\\", "\\\\").replace("\n", "\\n");
    std::printf("%s\n", escaped.toUtf8().constData());
    std::fflush(stdout);
}

// Without a window manager nobody hands out the focus: take it directly as well as through Qt.
void takeFocus(QLineEdit& field) {
    field.activateWindow();
    field.raise();
    field.setFocus();
    if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) {
        Display* display = x11->display();
        XSetInputFocus(display, static_cast<Window>(field.winId()), RevertToParent, CurrentTime);
        XFlush(display);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLineEdit field;
    field.setWindowTitle("Vandrel end-to-end target");
    field.resize(600, 60);
    field.move(100, 100);
    QObject::connect(&field, &QLineEdit::textChanged, [](const QString& text) { say("TEXT:" + text); });
    field.show();

    bool focused = false;
    QObject::connect(&app, &QApplication::focusChanged, [&](QWidget*, QWidget* now) {
        const bool in = now == &field;
        if (in == focused) return;
        focused = in;
        say(in ? "FOCUS:in" : "FOCUS:out");
    });

    // Keeps asking for the focus until the field has it, then reports that it is ready.
    QTimer focusTimer;
    focusTimer.setInterval(100);
    QObject::connect(&focusTimer, &QTimer::timeout, [&] {
        if (field.hasFocus() && QApplication::focusWidget() == &field && field.isActiveWindow()) {
            focusTimer.stop();
            say("READY");
            return;
        }
        takeFocus(field);
    });
    focusTimer.start();

    QString pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            // The test went away: so do we.
            input.setEnabled(false);
            QApplication::quit();
            return;
        }
        pending += QString::fromUtf8(buffer, static_cast<int>(n));
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "clipboard")
                say("CLIPBOARD:" + QApplication::clipboard()->text(QClipboard::Clipboard));
            else if (command == "focus")
                takeFocus(field);
            else if (command.startsWith("copy "))
                QApplication::clipboard()->setText(command.mid(5), QClipboard::Clipboard);
        }
    });
    return app.exec();
}

// A program on an X server for the tests of the memo's X11 selection and dragging:
//
//   memo_peer memo|plain <text>   shows the text in the layer's memo or in a plain text
//                                 edit, in a window titled "memo-peer"; tells on its
//                                 standard error where each place of the first line is
//                                 drawn ("at:" x,y pairs in the window) and, after each
//                                 change, the text ("text:" with line feeds as \n),
//                                 and "offered" when it takes the X11 selection; each
//                                 line it reads on its standard input goes in front of
//                                 the first line, as a program adds a line
//   memo_peer own <text>          holds the X11 selection with the text until killed;
//                                 tells "owned" once it does
//   memo_peer read                tells the X11 selection's text ("selection:") and ends

#include "platform/vcl/VclLists.h"
#include "platform/vcl/VclMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QTextBlock>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <unistd.h>

namespace {

void tell(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

QString escaped(QString text) { return text.replace(QLatin1Char('\n'), QLatin1String("\\n")); }

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (mode == QLatin1String("read")) {
        tell(QStringLiteral("selection:") + escaped(clipboard->text(QClipboard::Selection)));
        return 0;
    }
    if (mode == QLatin1String("own")) {
        clipboard->setText(args.value(2), QClipboard::Selection);
        tell(QStringLiteral("owned"));
        return app.exec();
    }
    const QString text = args.value(2);
    QWidget* widget = nullptr;
    std::function<QPoint(int)> at;
    std::function<void(const QString&)> addFirst;
    if (mode == QLatin1String("memo")) {
        auto* memo = new vcl::TMemo;
        memo->setPlainText(text);
        memo->OnChange = [memo](QObject*) { tell(QStringLiteral("text:") + escaped(memo->toPlainText())); };
        at = [memo](int column) { return memo->viewport()->mapTo(memo, memo->PointOf({0, column})); };
        addFirst = [memo](const QString& line) { vcl::Lines(memo).Insert(0, line); };
        widget = memo;
    } else if (mode == QLatin1String("plain")) {
        auto* plain = new QPlainTextEdit;
        plain->setPlainText(text);
        QObject::connect(plain, &QPlainTextEdit::textChanged,
                         [plain] { tell(QStringLiteral("text:") + escaped(plain->toPlainText())); });
        at = [plain](int column) {
            QTextCursor c(plain->document()->firstBlock());
            c.setPosition(column);
            return plain->viewport()->mapTo(plain, plain->cursorRect(c).topLeft());
        };
        addFirst = [plain](const QString& line) {
            QTextCursor(plain->document()).insertText(line + QLatin1Char('\n'));
        };
        widget = plain;
    } else {
        return 2;
    }
    // The widget offered its selection to other programs.
    QObject::connect(clipboard, &QClipboard::selectionChanged, [] { tell(QStringLiteral("offered")); });
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, n);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            addFirst(QString::fromUtf8(pending.left(end)));
            pending.remove(0, end + 1);
        }
    });
    widget->setWindowTitle(QStringLiteral("memo-peer"));
    widget->setGeometry(0, 0, 400, 200);
    widget->show();
    QTimer::singleShot(0, [&] {
        const qsizetype firstLength = text.contains(QLatin1Char('\n')) ? text.indexOf(QLatin1Char('\n')) : text.size();
        QStringList places;
        for (int column = 0; column <= firstLength; ++column) {
            const QPoint p = at(column);
            places << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
        }
        tell(QStringLiteral("at:") + places.join(QLatin1Char(' ')));
    });
    const int code = app.exec();
    delete widget;
    return code;
}

#include "tests/support/XServer.h"

#include "tests/support/QtTestApp.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QtEndian>

#include <algorithm>

namespace testsupport {

namespace {

constexpr int toolTimeoutMs = 5000;
constexpr int screenWidth = 1600, screenHeight = 1000;

// The text between the quotes of xprop's `NAME = "text"`, with its escapes undone.
QString quotedValue(const QString& line)
{
    const qsizetype open = line.indexOf(QLatin1String(" = \""));
    if (open < 0 || !line.endsWith(QLatin1Char('"')))
        return QString();
    const QString body = line.mid(open + 4, line.size() - open - 5);
    QString text(QLatin1String("")); // an empty title is still a title
    for (qsizetype i = 0; i < body.size(); ++i) {
        if (body[i] == QLatin1Char('\\') && i + 1 < body.size())
            ++i;
        text += body[i];
    }
    return text;
}

// The screen in X's dump format as Xvfb keeps it: a header of 32-bit big-endian
// fields, a colour map, then the rows of pixels.
QImage readScreenDump(const QByteArray& dump)
{
    enum Field {
        headerSize,
        format = 2,
        width = 4,
        height,
        byteOrder = 7,
        bitsPerPixel = 11,
        bytesPerLine,
        colourCount = 19,
        fieldCount = 25
    };
    if (dump.size() < fieldCount * 4)
        return {};
    auto field = [&](int i) { return qFromBigEndian<quint32>(dump.constData() + 4 * i); };
    constexpr quint32 zPixmap = 2, lsbFirst = 0, colourEntrySize = 12;
    // A 24-bit screen comes as 32-bit little-endian words 0x00RRGGBB, which is RGB32.
    if (field(format) != zPixmap || field(bitsPerPixel) != 32 || field(byteOrder) != lsbFirst)
        return {};
    const qsizetype pixels = qsizetype(field(headerSize)) + qsizetype(field(colourCount)) * colourEntrySize;
    const int w = int(field(width)), h = int(field(height));
    const qsizetype stride = field(bytesPerLine);
    if (stride < qsizetype(w) * 4 || pixels + stride * h > dump.size())
        return {};
    return QImage(reinterpret_cast<const uchar*>(dump.constData() + pixels), w, h, stride, QImage::Format_RGB32).copy();
}

} // namespace

XServer::XServer()
{
    // -displayfd 1: the server takes the first free display and writes its number on
    // its standard output once it accepts clients.
    server_.setProgram(QStringLiteral("Xvfb"));
    server_.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(screenWidth).arg(screenHeight),
                          QStringLiteral("-fbdir"), frameBuffer_.path(), QStringLiteral("-nolisten"),
                          QStringLiteral("tcp"), QStringLiteral("-noreset")});
    server_.setProcessChannelMode(QProcess::SeparateChannels);
    server_.start();
    if (!server_.waitForStarted(toolTimeoutMs)) {
        error_ = QStringLiteral("Xvfb did not start: ") + server_.errorString();
        return;
    }
    QByteArray out;
    QDeadlineTimer deadline(10000);
    while (!out.contains('\n') && !deadline.hasExpired() && server_.state() == QProcess::Running) {
        server_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        out += server_.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) {
        error_ = QStringLiteral("Xvfb gave no display: ") + QString::fromLocal8Bit(server_.readAllStandardError());
        return;
    }
    display_ = QStringLiteral(":%1").arg(number);
}

XServer::~XServer()
{
    if (windowManager_.state() != QProcess::NotRunning) {
        windowManager_.kill();
        windowManager_.waitForFinished(3000);
    }
    if (server_.state() == QProcess::NotRunning)
        return;
    server_.terminate();
    if (!server_.waitForFinished(3000)) {
        server_.kill();
        server_.waitForFinished(3000);
    }
}

bool XServer::startWindowManager()
{
    if (!running())
        return false;
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    windowManager_.setProcessEnvironment(env);
    windowManager_.setStandardOutputFile(QProcess::nullDevice());
    windowManager_.setStandardErrorFile(QProcess::nullDevice());
    windowManager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!windowManager_.waitForStarted(toolTimeoutMs))
        return false;
    // A manager that is up names its check window on the root window.
    return WaitUntil(
        [&] {
            return windowManager_.state() == QProcess::Running &&
                   !windowList({QStringLiteral("-root")}, QStringLiteral("_NET_SUPPORTING_WM_CHECK")).isEmpty();
        },
        toolTimeoutMs);
}

QProcessEnvironment XServer::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

bool XServer::start(QProcess& program, const QString& executable, const QStringList& args, const QString& folder) const
{
    program.setWorkingDirectory(folder);
    program.setProcessEnvironment(environment());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(executable, args);
    return program.waitForStarted(5000);
}

QString XServer::tool(const QString& program, const QStringList& args) const
{
    QProcess p;
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8")); // titles come as UTF-8
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(toolTimeoutMs)) {
        p.kill();
        p.waitForFinished(toolTimeoutMs);
        return QString();
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QString();
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    return out.isNull() ? QStringLiteral("") : out;
}

QStringList XServer::windows(qint64 pid, const QString& titlePattern) const
{
    QStringList search{QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible")};
    if (pid > 0)
        search << QStringLiteral("--pid") << QString::number(pid);
    const QString found = tool(QStringLiteral("xdotool"), search << QStringLiteral("--name") << titlePattern);
    const QRegularExpression pattern(titlePattern);
    QStringList matching;
    for (const QString& window : found.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        // xdotool matches the older title property; the one shown must match too. A window
        // without the newer one shows the older.
        QString shown = title(window);
        if (shown.isNull())
            shown = legacyTitle(window);
        if (pattern.match(shown).hasMatch())
            matching << window;
    }
    return matching;
}

QString XServer::waitForWindow(qint64 pid, const QString& titlePattern, int timeoutMs) const
{
    QString window;
    WaitUntil(
        [&] {
            window = windows(pid, titlePattern).value(0);
            return !window.isEmpty();
        },
        timeoutMs);
    return window;
}

bool XServer::waitForWindowCount(qint64 pid, const QString& titlePattern, int count, int timeoutMs) const
{
    return WaitUntil([&] { return windows(pid, titlePattern).size() == count; }, timeoutMs);
}

QString XServer::property(const QString& window, const QString& name) const
{
    const QString out = tool(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("-notype"), name});
    return quotedValue(out.trimmed());
}

QStringList XServer::windowList(const QStringList& xpropTarget, const QString& name) const
{
    // NAME: window id # 0x400007, 0x600003
    const QString out = tool(QStringLiteral("xprop"), xpropTarget + QStringList{QStringLiteral("-notype"), name});
    const qsizetype hash = out.indexOf(QLatin1Char('#'));
    if (hash < 0)
        return {};
    QStringList windows;
    for (const QString& id : out.mid(hash + 1).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool ok = false;
        const qulonglong number = id.trimmed().toULongLong(&ok, 16);
        if (ok)
            windows << QString::number(number);
    }
    return windows;
}

qint64 XServer::pid(const QString& window) const
{
    // _NET_WM_PID = 4711
    const QString out = tool(QStringLiteral("xprop"),
                             {QStringLiteral("-id"), window, QStringLiteral("-notype"), QStringLiteral("_NET_WM_PID")});
    const qsizetype eq = out.indexOf(QLatin1String(" = "));
    return eq < 0 ? 0 : out.mid(eq + 3).trimmed().toLongLong();
}

QString XServer::transientFor(const QString& window) const
{
    return windowList({QStringLiteral("-id"), window}, QStringLiteral("WM_TRANSIENT_FOR")).value(0);
}

QStringList XServer::stacking() const
{
    return windowList({QStringLiteral("-root")}, QStringLiteral("_NET_CLIENT_LIST_STACKING"));
}

QString XServer::activeWindow() const
{
    return windowList({QStringLiteral("-root")}, QStringLiteral("_NET_ACTIVE_WINDOW")).value(0);
}

QString XServer::title(const QString& window) const { return property(window, QStringLiteral("_NET_WM_NAME")); }

QString XServer::legacyTitle(const QString& window) const { return property(window, QStringLiteral("WM_NAME")); }

bool XServer::pressKeys(const QString& window, const QString& keys) const
{
    // One call for all keys: focusing the window again would close a menu they opened.
    return !tool(QStringLiteral("xdotool"),
                 QStringList{QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key")} +
                     keys.split(u' ', Qt::SkipEmptyParts))
                .isNull();
}

bool XServer::click(const QString& window, int x, int y, int count, int button) const
{
    // No --sync: it waits for the pointer to move, forever when it is already there. The
    // server takes the move and the click in the order they were sent all the same.
    return !tool(QStringLiteral("xdotool"),
                 {QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                  QString::number(y), QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(count),
                  QString::number(button)})
                .isNull();
}

bool XServer::drag(const QString& window, QPoint from, QPoint to) const
{
    // Steps with pauses between them, as a hand moves: a drag starts only once the
    // pointer has gone some way with the button held, and it follows the moves after.
    QStringList args{QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                     QString::number(from.x()),   QString::number(from.y()),  QStringLiteral("mousedown"),
                     QStringLiteral("1")};
    constexpr int steps = 5;
    for (int i = 1; i <= steps; ++i) {
        const QPoint p = from + (to - from) * i / steps;
        args << QStringLiteral("sleep") << QStringLiteral("0.2") << QStringLiteral("mousemove")
             << QStringLiteral("--window") << window << QString::number(p.x()) << QString::number(p.y());
    }
    args << QStringLiteral("sleep") << QStringLiteral("0.3") << QStringLiteral("mouseup") << QStringLiteral("1");
    return !tool(QStringLiteral("xdotool"), args).isNull();
}

bool XServer::parkPointer() const
{
    return !tool(QStringLiteral("xdotool"),
                 {QStringLiteral("mousemove"), QString::number(screenWidth - 1), QString::number(screenHeight - 1)})
                .isNull();
}

QRect XServer::geometry(const QString& window) const
{
    // xwininfo's "  Absolute upper-left X:  64" and so on, one per line; xdotool's
    // geometry adds the frame a second time once a window manager frames the window.
    const QString out = tool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    QHash<QString, int> values;
    for (const QString& line : out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon > 0)
            values.insert(line.left(colon).trimmed(), line.mid(colon + 1).trimmed().toInt());
    }
    for (const char* key : {"Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"})
        if (!values.contains(QLatin1String(key)))
            return {};
    return QRect(values.value(QStringLiteral("Absolute upper-left X")),
                 values.value(QStringLiteral("Absolute upper-left Y")), values.value(QStringLiteral("Width")),
                 values.value(QStringLiteral("Height")));
}

QImage XServer::picture(const QString& window) const
{
    const QRect where = geometry(window);
    QFile dump(frameBuffer_.filePath(QStringLiteral("Xvfb_screen0")));
    if (where.isNull() || !dump.open(QIODevice::ReadOnly))
        return {};
    const QImage screen = readScreenDump(dump.readAll());
    return screen.isNull() ? QImage() : screen.copy(where);
}

} // namespace testsupport

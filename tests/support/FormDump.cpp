#include "tests/support/FormDump.h"

#include "platform/vcl/Vcl.h"

#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <typeinfo>

namespace testsupport {

namespace {

QString className(const QObject* o)
{
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> name(abi::__cxa_demangle(typeid(*o).name(), nullptr, nullptr, &status),
                                                      std::free);
    QString text = QString::fromLatin1(status == 0 ? name.get() : typeid(*o).name());
    const qsizetype scope = text.lastIndexOf(QLatin1String("::"));
    return scope < 0 ? text : text.mid(scope + 2);
}

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

QString joined(const QStringList& list) { return QLatin1Char('[') + list.join(QLatin1Char('|')) + QLatin1Char(']'); }

QStringList memoLines(const QObject* o)
{
    QStringList lines;
    if (const auto* memo = dynamic_cast<const vcl::TMemo*>(o))
        return memo->LineList();
    if (const auto* plain = dynamic_cast<const QPlainTextEdit*>(o)) {
        for (QTextBlock b = plain->document()->firstBlock(); b.isValid(); b = b.next())
            lines << b.text();
        // A final line break makes no line of its own, as in the text list.
        if (!lines.isEmpty() && lines.back().isEmpty())
            lines.removeLast();
    }
    return lines;
}

// The caption of o when it is one of the controls that have one.
template <class Control, class... Others>
QString captionOf(const QObject* o)
{
    if (const auto* c = dynamic_cast<const Control*>(o))
        return c->Caption();
    if constexpr (sizeof...(Others) > 0)
        return captionOf<Others...>(o);
    else
        return QString();
}

// What the class library shows of a control, without its name, class and container.
QStringList attributes(const QObject* o, const std::map<const QObject*, QString>& names)
{
    QStringList a;
    const auto add = [&](const char* key, const QString& value) { a << QLatin1String(key) + QLatin1Char('=') + value; };
    const QString caption = captionOf<vcl::TForm, vcl::TLabel, vcl::TButton, vcl::TPanel, vcl::TGroupBox,
                                      vcl::TCheckBox, vcl::TRadioButton, vcl::TTabSheet, vcl::TToolButton>(o);
    if (!caption.isEmpty())
        add("caption", quoted(caption));

    if (const auto* le = dynamic_cast<const vcl::TLabeledEdit*>(o))
        add("label", quoted(le->EditLabel()->Caption()));
    if (const auto* e = dynamic_cast<const vcl::TEdit*>(o)) {
        if (!e->Text().isEmpty())
            add("text", quoted(e->Text()));
    }
    if (const auto* cb = dynamic_cast<const vcl::TComboBox*>(o)) {
        if (!cb->Text().isEmpty())
            add("text", quoted(cb->Text()));
    }
    if (const auto* w = dynamic_cast<const QWidget*>(o); w && !w->toolTip().isEmpty())
        add("hint", quoted(w->toolTip()));
    if (const auto* e = dynamic_cast<const vcl::TEdit*>(o); e && e->MaxLength() > 0)
        add("max", QString::number(e->MaxLength()));
    if (const auto* cb = dynamic_cast<const vcl::TComboBox*>(o)) {
        if (cb->MaxLength() > 0)
            add("max", QString::number(cb->MaxLength()));
        add("items", joined(cb->Items()));
        if (cb->maxVisibleItems() != 10) // Qt's default
            add("shown", QString::number(cb->maxVisibleItems()));
    }
    if (const auto* ud = dynamic_cast<const vcl::TUpDown*>(o)) {
        add("range", QStringLiteral("%1..%2").arg(ud->Min()).arg(ud->Max()));
        add("position", QString::number(ud->Position()));
        if (ud->Associate()) {
            const auto name = names.find(ud->Associate());
            add("associate", name == names.end() ? QStringLiteral("?") : name->second);
        }
    }
    if (dynamic_cast<const vcl::TMemo*>(o) || dynamic_cast<const QPlainTextEdit*>(o)) {
        const QStringList lines = memoLines(o);
        if (!lines.isEmpty())
            add("lines", joined(lines));
    }
    if (const auto* fl = dynamic_cast<const vcl::TFileListBox*>(o))
        add("mask", quoted(fl->Mask()));
    if (const auto* t = dynamic_cast<const vcl::TTimer*>(o)) {
        add("interval", QString::number(t->Interval()));
        if (!t->Enabled())
            a << QStringLiteral("off");
    }
    if (const auto* bb = dynamic_cast<const vcl::TBitBtn*>(o)) {
        static const char* const kinds[] = {"Custom", "OK", "Cancel", "Close"};
        if (bb->Kind() != vcl::bkCustom)
            add("kind", QLatin1String(kinds[bb->Kind()]));
    }
    if (const auto* c = dynamic_cast<const vcl::TCheckBox*>(o); c && c->Checked())
        a << QStringLiteral("checked");
    if (const auto* r = dynamic_cast<const vcl::TRadioButton*>(o); r && r->Checked())
        a << QStringLiteral("checked");
    if (const auto* w = dynamic_cast<const QWidget*>(o); w && !vcl::Enabled(w))
        a << QStringLiteral("disabled");
    if (const auto* e = dynamic_cast<const vcl::TEdit*>(o); e && e->isReadOnly())
        a << QStringLiteral("readonly");
    if (const auto* m = dynamic_cast<const vcl::TMemo*>(o); m && m->isReadOnly())
        a << QStringLiteral("readonly");
    if (const auto* m = dynamic_cast<const QPlainTextEdit*>(o); m && m->isReadOnly())
        a << QStringLiteral("readonly");
    if (const auto* l = dynamic_cast<const QLabel*>(o);
        l && !dynamic_cast<const vcl::TLabel*>(o) && !l->pixmap().isNull())
        a << QStringLiteral("picture");
    return a;
}

// The nearest named control that holds o.
QString container(const QObject* o, const std::map<const QObject*, QString>& names)
{
    for (const QObject* p = o->parent(); p; p = p->parent()) {
        const auto name = names.find(p);
        if (name != names.end())
            return name->second;
    }
    return QStringLiteral("-");
}

void collectStrays(const QObject* o, const std::map<const QObject*, QString>& names,
                   const std::map<const QObject*, QString>& ownLabels, QStringList& out)
{
    for (const QObject* child : o->children()) {
        const bool known = names.count(child) || ownLabels.count(child);
        if (!known && dynamic_cast<const vcl::TControlData*>(child)) {
            const QStringList a = attributes(child, names);
            const bool showsText = std::any_of(a.begin(), a.end(), [](const QString& s) {
                return s.startsWith(QLatin1String("caption=")) || s.startsWith(QLatin1String("text=")) ||
                       s.startsWith(QLatin1String("hint=")) || s.startsWith(QLatin1String("lines="));
            });
            if (showsText)
                out << (QStringLiteral("? ") + className(child) + QStringLiteral(" in=") + container(child, names) +
                        QLatin1Char(' ') + a.join(QLatin1Char(' ')));
        }
        collectStrays(child, names, ownLabels, out);
    }
}

} // namespace

std::string ControlDump(const QWidget* form, std::initializer_list<NamedControl> controls)
{
    std::map<const QObject*, QString> names;
    std::map<const QObject*, QString> ownLabels; // the caption labels of labelled edits
    for (const NamedControl& c : controls) {
        names[c.control] = QString::fromLatin1(c.name);
        if (const auto* le = dynamic_cast<const vcl::TLabeledEdit*>(c.control))
            ownLabels[le->EditLabel()] = QString::fromLatin1(c.name);
    }
    QStringList lines;
    for (const NamedControl& c : controls) {
        QString line = QString::fromLatin1(c.name) + QLatin1Char(' ') + className(c.control);
        if (c.control != form)
            line += QStringLiteral(" in=") + container(c.control, names);
        const QStringList a = attributes(c.control, names);
        if (!a.isEmpty())
            line += QLatin1Char(' ') + a.join(QLatin1Char(' '));
        lines << line;
    }
    collectStrays(form, names, ownLabels, lines);
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toStdString();
}

} // namespace testsupport

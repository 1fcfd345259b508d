#include "platform/vcl/Clipboard.h"

#include "platform/vcl/VclCore.h"

#include <QClipboard>
#include <QGuiApplication>

namespace platform {

void SetClipboardImage(const QImage& image)
{
    QClipboard* clipboard =
        qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard)
        throw vcl::Exception(QStringLiteral("Schowek jest niedostępny."));
    if (image.isNull())
        throw vcl::Exception(QStringLiteral("Nie ma obrazu do skopiowania do schowka."));
    if (ClipboardScript* script = ClipboardScript::current())
        script->take();
    clipboard->setImage(image);
}

void ClipboardScript::take()
{
    if (!failures_.empty()) {
        const QString message = failures_.front();
        failures_.pop_front();
        throw vcl::Exception(message);
    }
    ++copies_;
}

} // namespace platform

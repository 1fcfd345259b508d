// The main window's views (93-pixel strip and full view), the two layouts of the
// grid-and-text panel, the list of closed measurement windows, and the settings and
// about dialogs.

#include "mainwindow/Unit1.h"

#include "acquisition/PortCom.h"
#include "dialogs/Unit2.h"
#include "dialogs/Unit5.h"
#include "platform/text/Convert.h"

#include <QEvent>

using namespace vcl;

namespace {

// An opaque sheet as large as its window, following the window's size.
class WindowSheet : public QWidget {
public:
    explicit WindowSheet(QWidget* window) : QWidget(window)
    {
        setAutoFillBackground(true);
        setGeometry(window->rect());
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (watched == parentWidget() && e->type() == QEvent::Resize)
            setGeometry(parentWidget()->rect());
        return false;
    }
};

} // namespace

void TForm1::buildStripCover()
{
    stripCover_ = new WindowSheet(this);
    stripCover_->stackUnder(Panel2);
    stripCover_->hide();
}

void TForm1::setStripCovered(bool covered) { stripCover_->setVisible(covered); }

void TForm1::BitBtn3Click(TObject*)
{
    if (mainViewMode == 1) {
        mainViewMode = 0;
        windowShowCounter = 1;
        BitBtn3->SetCaption(QStringLiteral("[_][_]"));
        BitBtn2->SetEnabled(false);
        SetHeight(stripHeight);
        setStripCovered(true);
        ToolBar1->SetEnabled(false);
        Timer1->SetEnabled(false);
    } else {
        mainViewMode = 1;
        windowShowCounter = 0;
        setStripCovered(false);
        BitBtn3->SetCaption(QStringLiteral("[_]"));
        BitBtn2->SetEnabled(true);
        // Before a full-view height was ever stored, the designed height serves.
        SetHeight(settings.mainHeight > stripHeight ? settings.mainHeight : designedHeight_);
        // A stored height may be nonsense; the full view stays on the screen as the strip does.
        keepOnScreen();
        ToolBar1->SetEnabled(true);
    }
}

void TForm1::ApplyBottomLayout()
{
    Panel4->SetAlign(alBottom);
    Splitter2->SetTop(Panel4->Top() - Splitter2->Height());
    Splitter2->SetAlign(alBottom);
    Panel7->SetAlign(alTop);
    Chart1->SetLegendAlignment(platform::laBottom);
    BitBtn2->SetCaption(QStringLiteral("_"));
}

void TForm1::ApplyRightLayout()
{
    Panel4->SetAlign(alRight);
    // Left first, then right: the splitter then sits left of the panel.
    Splitter2->SetAlign(alLeft);
    Splitter2->SetAlign(alRight);
    Chart1->SetLegendAlignment(platform::laLeft);
    BitBtn2->SetCaption(QStringLiteral("|"));
}

void TForm1::BitBtn2Click(TObject*)
{
    if (layoutRight == 0) {
        ApplyRightLayout();
        layoutRight = 1;
        settings.bottomLayout = 0;
    } else {
        ApplyBottomLayout();
        layoutRight = 0;
        settings.bottomLayout = 1;
    }
}

void TForm1::ComboBox1DropDown(TObject*)
{
    ComboBox1->ClearItems();
    for (int i = 0; i < settings.windowCountClamped(); ++i) {
        if (settings.windows[i].state & 4)
            ComboBox1->AddItem(QStringLiteral("Okno ") + QString::number(i + 1));
        else
            ComboBox1->AddItem(QStringLiteral("----"));
    }
    ComboBox1->SetText(QStringLiteral("Dodaj okno"));
}

void TForm1::ComboBox1Change(TObject*)
{
    // Typed text selects no item and so no slot: only a listed closed window reopens.
    const int slot = ComboBox1->ItemIndex();
    if (ComboBox1->Text() != QStringLiteral("----") && slot >= 0 && slot < settings.windowCountClamped()) {
        nextWindowIndex = slot;
        if (createMeasurementWindow) {
            createMeasurementWindow(*this);
            ++createdWindows;
        }
    }
    ComboBox1->SetText(QStringLiteral("Dodaj okno"));
}

void TForm1::BitBtn5Click(TObject*)
{
    Form2->ComboBox1->SetItemIndex(deviceFamily);
    Form2->Button10->SetEnabled(deviceFamily != 1);
    Form2->MaxLini->SetPosition(UpDown1->Position());
    if (Form2->ShowModal() == mrOk) {
        acquisition::portCom.baudRate = rtl::StrToIntC(acquisition::getText(settings.baudText));
        acquisition::setText(acquisition::portCom.portSettings, acquisition::getText(settings.comPort));
        UpDown1->SetPosition(Form2->MaxLini->Position());
    }
}

void TForm1::BitBtn6Click(TObject*) { Form5->ShowModal(); }

void TForm1::ToolButton35Click(TObject*) { Form5->ShowModal(); }

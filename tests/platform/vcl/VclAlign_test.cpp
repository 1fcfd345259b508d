// Alignment as the class library does it: order of the edges, own sizes kept when the
// window shrinks, swaps on a change of edge, splitters, sizes right before show.

#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclForms.h"
#include "platform/vcl/VclLists.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <QPlainTextEdit>
#include <gtest/gtest.h>
#include <memory>

using namespace vcl;

namespace {

TPanel* panel(QWidget* parent, TAlign align, int w, int h)
{
    auto* p = new TPanel(parent);
    p->SetBevelOuter(bvNone);
    p->SetBounds(0, 0, w, h);
    p->SetAlign(align);
    return p;
}

struct FiveEdges {
    std::unique_ptr<TForm> form = std::make_unique<TForm>();
    TPanel *top, *bottom, *left, *right, *client;
    FiveEdges()
    {
        form->SetClientWidth(400);
        form->SetClientHeight(300);
        // Created in an order that differs from the layout order on purpose.
        client = panel(form.get(), alClient, 10, 10);
        right = panel(form.get(), alRight, 80, 10);
        bottom = panel(form.get(), alBottom, 10, 50);
        left = panel(form.get(), alLeft, 100, 10);
        top = panel(form.get(), alTop, 10, 35);
    }
};

} // namespace

TEST(VclAlign, EdgesThenClientInTheClassLibraryOrder)
{
    FiveEdges f;
    EXPECT_EQ(f.top->geometry(), QRect(0, 0, 400, 35));
    EXPECT_EQ(f.bottom->geometry(), QRect(0, 250, 400, 50));
    EXPECT_EQ(f.left->geometry(), QRect(0, 35, 100, 215));
    EXPECT_EQ(f.right->geometry(), QRect(320, 35, 80, 215));
    EXPECT_EQ(f.client->geometry(), QRect(100, 35, 220, 215));
}

TEST(VclAlign, EdgePanelsKeepTheirSizeWhenTheWindowShrinksToAStrip)
{
    FiveEdges f;
    const QRect before[] = {f.top->geometry(), f.bottom->geometry(), f.left->geometry(), f.right->geometry(),
                            f.client->geometry()};
    struct Case {
        int height;
        int leftHeight;
    };
    for (const Case c : {Case{93, 8}, Case{60, 0}, Case{10, 0}}) {
        f.form->SetHeight(c.height);
        EXPECT_EQ(f.form->ClientHeight(), c.height);
        EXPECT_EQ(f.top->height(), 35) << c.height;
        EXPECT_EQ(f.bottom->height(), 50) << c.height;
        EXPECT_EQ(f.left->width(), 100) << c.height;
        EXPECT_EQ(f.right->width(), 80) << c.height;
        EXPECT_EQ(f.left->height(), c.leftHeight) << c.height;
        EXPECT_EQ(f.bottom->y(), c.height - 50) << c.height;
    }
    f.form->SetClientHeight(300);
    const QRect after[] = {f.top->geometry(), f.bottom->geometry(), f.left->geometry(), f.right->geometry(),
                           f.client->geometry()};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(after[i], before[i]) << i;
}

TEST(VclAlign, ShownWindowResizedByTheWindowSystemRealigns)
{
    FiveEdges f;
    f.form->Show();
    f.form->resize(500, 93); // as the window system does, not through the layer
    EXPECT_EQ(f.bottom->geometry(), QRect(0, 43, 500, 50));
    EXPECT_EQ(f.right->geometry(), QRect(420, 35, 80, 8));
    f.form->Hide();
}

TEST(VclAlign, ChangingBetweenHorizontalAndVerticalEdgesSwapsWidthAndHeight)
{
    FiveEdges f;
    f.bottom->SetHeight(263);
    f.bottom->SetAlign(alRight);
    EXPECT_EQ(f.bottom->width(), 263);
    f.bottom->SetAlign(alBottom);
    EXPECT_EQ(f.bottom->height(), 263);
    EXPECT_EQ(f.bottom->y(), 300 - 263);
    // Top to bottom keeps the height as it is.
    f.top->SetAlign(alBottom);
    EXPECT_EQ(f.top->height(), 35);
}

TEST(VclAlign, ReturnToNoAlignmentRestoresTheBoundsBeforeAligning)
{
    auto form = std::make_unique<TForm>();
    form->SetClientWidth(300);
    form->SetClientHeight(200);
    auto* p = new TPanel(form.get());
    p->SetBounds(17, 23, 40, 30);
    p->SetAlign(alClient);
    EXPECT_EQ(p->geometry(), QRect(0, 0, 300, 200));
    p->SetAlign(alNone);
    EXPECT_EQ(p->geometry(), QRect(17, 23, 40, 30));
}

// The main window's two layouts of the grid-and-text panel: the splitter is aligned left
// and then right so that it ends up on the left of the panel, and back.
TEST(VclAlign, SplitterAlignedLeftThenRightSitsLeftOfTheRightPanel)
{
    auto form = std::make_unique<TForm>();
    form->SetClientWidth(1000);
    form->SetClientHeight(600);
    TPanel* bar = panel(form.get(), alTop, 10, 35);
    TPanel* files = panel(form.get(), alLeft, 185, 10);
    auto* splitter1 = new TSplitter(form.get());
    TPanel* lists = panel(form.get(), alBottom, 10, 263);
    auto* splitter2 = new TSplitter(form.get());
    splitter2->SetAlign(alBottom);
    auto* chart = new QPlainTextEdit(form.get());
    SetAlign(chart, alClient);

    EXPECT_EQ(splitter1->geometry(), QRect(185, 35, 3, 299));
    EXPECT_EQ(lists->geometry(), QRect(0, 337, 1000, 263));
    EXPECT_EQ(splitter2->geometry(), QRect(0, 334, 1000, 3));
    EXPECT_EQ(chart->geometry(), QRect(188, 35, 812, 299));
    EXPECT_EQ(files->geometry(), QRect(0, 35, 185, 299));

    lists->SetAlign(alRight);
    splitter2->SetAlign(alLeft);
    splitter2->SetAlign(alRight);
    EXPECT_EQ(lists->geometry(), QRect(1000 - 263, 35, 263, 565));
    EXPECT_EQ(splitter2->geometry(), QRect(1000 - 263 - 3, 35, 3, 565));
    EXPECT_EQ(chart->geometry(), QRect(188, 35, 1000 - 263 - 3 - 188, 565));
    EXPECT_EQ(bar->width(), 1000);

    lists->SetAlign(alBottom);
    splitter2->SetAlign(alBottom);
    EXPECT_EQ(lists->geometry(), QRect(0, 337, 1000, 263));
    EXPECT_EQ(splitter2->geometry(), QRect(0, 334, 1000, 3));
}

TEST(VclAlign, HiddenControlsLeaveTheLayoutAndComeBackInTheirPlace)
{
    auto form = std::make_unique<TForm>();
    form->SetClientWidth(200);
    form->SetClientHeight(100);
    TPanel* first = panel(form.get(), alTop, 10, 20);
    TPanel* second = panel(form.get(), alTop, 10, 30);
    TPanel* rest = panel(form.get(), alClient, 10, 10);
    first->SetVisible(false);
    EXPECT_FALSE(first->Visible());
    EXPECT_EQ(second->y(), 0);
    EXPECT_EQ(rest->geometry(), QRect(0, 30, 200, 70));
    first->SetVisible(true);
    EXPECT_EQ(first->geometry(), QRect(0, 0, 200, 20));
    EXPECT_EQ(second->y(), 20);
    EXPECT_EQ(rest->geometry(), QRect(0, 50, 200, 50));

    // A plain Qt widget hidden directly leaves the layout too.
    auto* memo = new QPlainTextEdit(form.get());
    SetBounds(memo, 0, 0, 10, 15);
    SetAlign(memo, alBottom);
    EXPECT_EQ(rest->height(), 35);
    memo->hide();
    EXPECT_EQ(rest->height(), 50);
}

TEST(VclAlign, SizeOfAnAlignedPanelSetFromCode)
{
    FiveEdges f;
    f.left->SetWidth(150);
    EXPECT_EQ(f.left->width(), 150);
    EXPECT_EQ(f.client->geometry(), QRect(150, 35, 170, 215));
    f.top->SetHeight(50);
    EXPECT_EQ(f.left->geometry(), QRect(0, 50, 150, 200));
    // The stretched side comes from the parent whatever is asked.
    f.left->SetHeight(10);
    EXPECT_EQ(f.left->height(), 200);
}

TEST(VclAlign, NestedPanelsAreLaidOutBeforeTheFormIsShown)
{
    testsupport::TempCwd tmp; // the lists read (and enter) the current directory
    auto form = std::make_unique<TForm>();
    form->SetClientWidth(800);
    form->SetClientHeight(600);
    auto* left = new TPanel(form.get()); // default raised bevel: one pixel inside
    left->SetWidth(185);
    left->SetAlign(alLeft);
    auto* dirs = new TDirectoryListBox(left);
    dirs->SetHeight(176);
    SetAlign(dirs, alTop);
    auto* files = new TFileListBox(left);
    SetAlign(files, alClient);
    ASSERT_FALSE(form->isVisible());
    EXPECT_EQ(dirs->geometry(), QRect(1, 1, 183, 176));
    EXPECT_EQ(files->geometry(), QRect(1, 177, 183, 600 - 2 - 176));
    form->SetHeight(93);
    EXPECT_EQ(dirs->height(), 176);
    EXPECT_EQ(files->height(), 0);
}

TEST(VclAlign, OnResizeRunsAtOnceWhenTheSizeChangesAndOnlyThen)
{
    FiveEdges f;
    std::vector<QSize> sizes;
    f.left->OnResize = [&](TObject* sender) {
        EXPECT_EQ(sender, f.left);
        sizes.push_back(f.left->size());
    };
    f.form->SetClientHeight(200); // the left panel's height follows
    f.form->SetClientWidth(500);  // its width does not
    f.left->SetWidth(120);
    f.left->SetWidth(120);
    ASSERT_EQ(sizes.size(), 2u);
    EXPECT_EQ(sizes[0], QSize(100, 115));
    EXPECT_EQ(sizes[1], QSize(120, 115));
}

TEST(VclAlign, DraggingASplitterResizesItsNeighbourWithinMinSize)
{
    auto form = std::make_unique<TForm>();
    form->SetClientWidth(600);
    form->SetClientHeight(400);
    TPanel* left = panel(form.get(), alLeft, 150, 10);
    auto* split = new TSplitter(form.get());
    split->SetWidth(4);
    TPanel* bottom = panel(form.get(), alBottom, 10, 100);
    auto* hsplit = new TSplitter(form.get());
    hsplit->SetAlign(alBottom);
    TPanel* rest = panel(form.get(), alClient, 10, 10);
    ASSERT_EQ(split->Neighbour(), left);
    ASSERT_EQ(rest->geometry(), QRect(154, 0, 446, 297));
    ASSERT_EQ(hsplit->Neighbour(), bottom);

    int resized = 0, moved = 0;
    left->OnResize = [&](TObject*) { ++resized; };
    split->OnMoved = [&](TObject*) { ++moved; };
    struct Case {
        int dx;
        int width;
    };
    for (const Case c : {Case{40, 190}, Case{-1000, 30}, Case{5000, 600 - 4 - 30}}) {
        left->SetWidth(150);
        testsupport::MouseDrag(split, QPoint(1, 50), QPoint(1 + c.dx, 50));
        EXPECT_EQ(left->width(), c.width) << c.dx;
        EXPECT_EQ(split->x(), c.width) << c.dx;
        EXPECT_EQ(rest->x(), c.width + 4) << c.dx;
    }
    EXPECT_EQ(moved, 3);
    EXPECT_GE(resized, 3);

    // Dragging a bottom splitter up makes the bottom panel taller.
    testsupport::MouseDrag(hsplit, QPoint(50, 1), QPoint(50, -60));
    EXPECT_EQ(bottom->height(), 161);
    EXPECT_EQ(hsplit->y() + hsplit->height(), bottom->y());
}

TEST(VclAlign, StatusBarSitsAtTheBottomWithItsPanels)
{
    auto form = std::make_unique<TForm>();
    form->SetClientWidth(640);
    form->SetClientHeight(480);
    TPanel* rest = panel(form.get(), alClient, 10, 10);
    auto* bar = new TStatusBar(form.get());
    bar->AddPanel(220);
    bar->AddPanel(100);
    bar->AddPanel(100);
    bar->Panels(1)->SetText(QStringLiteral("Połączono"));
    EXPECT_EQ(bar->geometry(), QRect(0, 480 - 19, 640, 19));
    EXPECT_EQ(rest->height(), 480 - 19);
    ASSERT_EQ(bar->PanelCount(), 3);
    EXPECT_EQ(bar->Panels(0)->Width(), 220);
    EXPECT_EQ(bar->Panels(1)->Text(), QStringLiteral("Połączono"));
    EXPECT_EQ(bar->Panels(2)->Text(), QString());
}

// The cell list control on its own: attributes, the header check box,
// progress bars and the drawing rules that decide colours.
#include <QImage>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include "ui/cell_list.h"
#include "ui_support.h"

namespace {

class CellListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list.resize(400, 200);
    for (int c = 0; c < 3; ++c) list.InsertColumn(c, QString("C%1").arg(c), Qt::AlignLeft, 120);
    list.Header()->SetCheckState(0, 0);
    for (int r = 0; r < 3; ++r) {
      ASSERT_EQ(list.InsertItem(r, QString("row%1").arg(r)), r);
      list.SetCheckbox(r, 0, 0);
    }
    list.show();
    Pump();
  }
  QColor PixelAt(int row, int col, int dx, int dy) {
    const QRect r = list.visualRect(list.Model()->index(row, col));
    const QImage img = list.viewport()->grab().toImage();
    return img.pixelColor(r.left() + dx, r.top() + dy);
  }
  CCellListCtrl list;
};

TEST_F(CellListTest, OperationsOutsideTheListFailAndReadsReportNothing) {
  EXPECT_FALSE(list.SetItemText(3, 0, "x"));
  EXPECT_FALSE(list.SetItemText(0, 3, "x"));
  EXPECT_FALSE(list.SetCheckbox(-1, 0, 1));
  EXPECT_EQ(list.GetCheckbox(7, 0), -1);
  EXPECT_EQ(list.GetCheckbox(0, 2), -1);  // a cell without a box
  EXPECT_EQ(list.InsertItem(9, "far"), -1);
  EXPECT_EQ(list.GetItemCount(), 3);
  EXPECT_TRUE(list.GetItemText(5, 1).isEmpty());
}

TEST_F(CellListTest, InsertedCellsTakeTheDefaultColoursAndMinusOneMeansDefault) {
  const CellRecord* c = list.GetCell(1, 2);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(c->text_colour, list.DefaultText());
  EXPECT_EQ(c->bg_colour, list.DefaultBackground());
  ASSERT_TRUE(list.SetItemText(1, 2, QString("on red"), Qt::white, Qt::red));
  EXPECT_EQ(list.GetItemText(1, 2), "on red");
  ASSERT_TRUE(list.SetItemText(1, 2, std::nullopt, QColor(), QColor()));  // colours back, text kept
  EXPECT_EQ(list.GetItemText(1, 2), "on red");
  EXPECT_EQ(list.GetCell(1, 2)->bg_colour, list.DefaultBackground());
}

TEST_F(CellListTest, HeaderBoxFollowsTheRowsAndChecksOrClearsThemAll) {
  list.SetCheckbox(0, 0, 1);
  list.SetCheckbox(1, 0, 1);
  EXPECT_EQ(list.Header()->CheckState(0), 0);
  list.SetCheckbox(2, 0, 1);  // the last unchecked row
  EXPECT_EQ(list.Header()->CheckState(0), 1);
  list.SetCheckbox(1, 0, 0);
  EXPECT_EQ(list.Header()->CheckState(0), 0);

  QSignalSpy clicks(&list, &CCellListCtrl::columnClick);
  CXHeaderCtrl* h = list.Header();
  QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, h->height() / 2));
  for (int r = 0; r < 3; ++r) EXPECT_EQ(list.GetCheckbox(r, 0), 1) << r;
  EXPECT_EQ(h->CheckState(0), 1);
  QTest::mouseClick(h->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(10, h->height() / 2));
  for (int r = 0; r < 3; ++r) EXPECT_EQ(list.GetCheckbox(r, 0), 0) << r;
  ASSERT_EQ(clicks.count(), 2);  // the window still hears of the heading click
  EXPECT_EQ(clicks.at(0).at(0).toInt(), 0);
}

TEST_F(CellListTest, HeaderDrawsItsBoxAndTheTickWhenChecked) {
  CXHeaderCtrl* h = list.Header();
  auto count = [&](const QColor& c) {
    const QImage img = h->viewport()->grab().toImage();
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < h->sectionSize(0); ++x) n += img.pixelColor(x, y) == c;
    return n;
  };
  EXPECT_GT(count(QColor(51, 102, 153)), 20);  // the frame
  EXPECT_EQ(count(QColor(51, 153, 51)), 0);
  for (int r = 0; r < 3; ++r) list.SetCheckbox(r, 0, 1);
  EXPECT_EQ(count(QColor(51, 153, 51)), 21);  // seven strokes of three pixels
}

TEST_F(CellListTest, ClickOnACheckBoxCellTogglesItAndTellsTheParent) {
  QSignalSpy spy(&list, &CCellListCtrl::checkboxClicked);
  const QRect r = list.visualRect(list.Model()->index(1, 0));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
  EXPECT_EQ(list.GetCheckbox(1, 0), 1);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy.at(0).at(0).toInt(), 1);
  // A click on a cell without a box toggles nothing.
  const QRect r2 = list.visualRect(list.Model()->index(1, 1));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, r2.center());
  EXPECT_EQ(list.GetCheckbox(1, 0), 1);
  EXPECT_EQ(spy.count(), 1);
}

TEST_F(CellListTest, ProgressBarDrawsGreyFrameAtZeroAndHighlightWhenFilled) {
  list.SetColumnHeading(2, "Status");
  list.SetItemText(0, 2, "hidden by the bar");
  ASSERT_TRUE(list.SetProgress(0, 2, true));
  Pump();
  // Value 0: the grey rectangle only, no text and no fill.
  const QColor mid = PixelAt(0, 2, 60, 8);
  EXPECT_EQ(mid, QColor(224, 224, 224));
  ASSERT_TRUE(list.UpdateProgress(0, 2, 50));
  Pump();
  EXPECT_EQ(PixelAt(0, 2, 10, 4), list.palette().color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(PixelAt(0, 2, 110, 4), QColor(224, 224, 224));
  ASSERT_TRUE(list.DeleteProgress(0, 2));
  EXPECT_EQ(list.GetCell(0, 2)->progress, 0);
  EXPECT_EQ(list.GetCell(0, 2)->progress_value, 0);
  EXPECT_FALSE(list.UpdateProgress(0, 2, 10));  // no bar to move
}

TEST_F(CellListTest, SelectedRowOfAnUnfocusedListKeepsItsCellColours) {
  list.SetItemColours(1, 1, Qt::white, Qt::red);
  list.SelectRow(1);
  list.clearFocus();
  Pump();
  ASSERT_FALSE(list.hasFocus());
  EXPECT_EQ(PixelAt(1, 1, 2, 3), QColor(Qt::red));
  EXPECT_EQ(PixelAt(1, 2, 2, 3), list.DefaultBackground());
}

TEST_F(CellListTest, ToolTipIsCutTo79CharactersAndAbsentWhenEmpty) {
  list.EnableToolTips(true);
  list.SetItemToolTipText(0, 1, QString(100, 'x'));
  EXPECT_EQ(list.Model()->data(list.Model()->index(0, 1), Qt::ToolTipRole).toString().size(), 79);
  EXPECT_FALSE(list.Model()->data(list.Model()->index(0, 2), Qt::ToolTipRole).isValid());
}

TEST_F(CellListTest, ReorderKeepsEveryCellWithItsRow) {
  list.SetItemText(0, 1, "a");
  list.SetItemText(1, 1, "b");
  list.SetItemText(2, 1, "c");
  list.SetBold(2, 1, 1);
  list.SetCheckbox(2, 0, 1);
  list.ApplyRowOrder({2, 0, 1});
  EXPECT_EQ(list.GetItemText(0, 1), "c");
  EXPECT_EQ(list.GetBold(0, 1), 1);
  EXPECT_EQ(list.GetCheckbox(0, 0), 1);
  EXPECT_EQ(list.GetItemText(0, 0), "row2");
  EXPECT_EQ(list.GetItemText(2, 1), "b");
  list.DeleteAllItems();
  EXPECT_EQ(list.GetItemCount(), 0);
  EXPECT_EQ(list.GetColumnCount(), 3);
}

}  // namespace

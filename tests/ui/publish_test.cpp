// Publishing from the main window: the dialogs run modally over it and, after their OK, the
// list on display is loaded again so that its rows and its counter agree.
#include "MainFormFixture.h"

#include "ui/Controls.h"
#include "ui/Tsubmitform.h"
#include "ui/Tuploadform.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <functional>

namespace {

using Publish = MainFormFixture;

// Runs fill on the dialog of type Form once its modal run waits.
template <typename Form> void WhenShown(std::function<void(Form&)> fill)
{
    QTimer::singleShot(0, [fill = std::move(fill)] {
        auto* dialog = qobject_cast<Form*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        fill(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

} // namespace

TEST_F(Publish, UploadedVideoShowsFirstInTheVideoList)
{
    TMainForm& form = StartAsDemo();
    Click("SpeedButton4");
    const QString before = Status(0);
    WhenShown<TUploadForm>([](TUploadForm& d) {
        d.Controls().Edit1->setText("新上传的视频");
        d.Controls().Edit2->setText("http://127.0.0.1:8081/sp/bounce.swf");
        d.Controls().Edit4->setText("0");
        d.SpeedButton1Click();
    });
    Click("SpeedButton7");
    EXPECT_EQ(Row(0)->text(), "新上传的视频");
    EXPECT_NE(Status(0), before);
    EXPECT_EQ(std::to_string(form.Browser().ItemCount),
              s_db->scalar("SELECT COUNT(*) FROM zumalo_sp"));
}

TEST_F(Publish, QuickPostWhileAnotherListIsShownKeepsThatListAndItsCounter)
{
    StartAsDemo();
    Click("SpeedButton8"); // the board
    const QString counter = Status(0);
    const QString firstRow = Row(0)->text();
    WhenShown<TSubmitForm>([](TSubmitForm& d) {
        d.Controls().Edit1->setText("新快贴");
        d.Controls().Edit2->setText("http://example.org/");
        d.SpeedButton1Click();
    });
    Click("SpeedButton11");
    EXPECT_EQ(s_db->scalar("SELECT COUNT(*) FROM zumalo_news WHERE text = '新快贴'"), "1");
    EXPECT_EQ(Status(0), counter);
    EXPECT_EQ(Row(0)->text(), firstRow);
    // Switching to the quick posts shows it first.
    Click("SpeedButton10");
    EXPECT_EQ(Row(0)->text(), "新快贴");
}

TEST_F(Publish, CancelledDialogChangesNothing)
{
    StartAsDemo();
    Click("SpeedButton4");
    const QString firstRow = Row(0)->text();
    WhenShown<TUploadForm>([](TUploadForm&) {});
    Click("SpeedButton7");
    EXPECT_EQ(Row(0)->text(), firstRow);
}

#include "platform/QtTranslation.h"
#include "platform/RealPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace {

// Runs show, which opens a modal window; once it is up, hands it to look and closes it.
void WhileOpen(const std::function<void()>& show, const std::function<void(QWidget*)>& look)
{
    QTimer::singleShot(0, [&] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window) {
            ADD_FAILURE() << "no modal window is open";
            return;
        }
        look(window);
        if (auto* box = qobject_cast<QMessageBox*>(window))
            box->buttons().front()->click();
        else if (auto* dialog = qobject_cast<QDialog*>(window))
            dialog->reject();
    });
    show();
}

// The framework's buttons say what Chinese users read, under the C locale of the test.
class QtChinese : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(InstallQtChinese(*qApp)); }
};

TEST_F(QtChinese, MessageBoxButtonsAsTheProgramBuildsThem)
{
    QtPrompts prompts;
    QWidget owner;
    owner.show();
    QStringList warn;
    WhileOpen([&] { prompts.Warn(&owner, QStringLiteral("密码不能为空。")); },
              [&](QWidget* window) {
                  for (QAbstractButton* button : qobject_cast<QMessageBox*>(window)->buttons())
                      warn << button->text();
              });
    EXPECT_EQ(warn, QStringList{QStringLiteral("确定")});

    QString yes;
    QString no;
    WhileOpen([&] { prompts.Ask(&owner, QStringLiteral("下载"), QStringLiteral("现在下载吗？")); },
              [&](QWidget* window) {
                  auto* box = qobject_cast<QMessageBox*>(window);
                  yes = box->button(QMessageBox::Yes)->text();
                  no = box->button(QMessageBox::No)->text();
              });
    EXPECT_EQ(yes, QStringLiteral("是(&Y)"));
    EXPECT_EQ(no, QStringLiteral("否(&N)"));

    // Cancel, the last of the framework's usual buttons.
    QMessageBox box(QMessageBox::Warning, QStringLiteral("提示"), QStringLiteral("x"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text(), QStringLiteral("取消"));
}

TEST_F(QtChinese, FileDialogAsTheProgramOpensIt)
{
    QtFileChooser chooser;
    QStringList texts;
    WhileOpen([&] { chooser.ChooseOpen(nullptr, QStringLiteral("种子文件 (*.torrent)")); },
              [&](QWidget* window) {
                  for (auto* buttons : window->findChildren<QDialogButtonBox*>())
                      for (QAbstractButton* button : buttons->buttons())
                          texts << button->text();
                  for (auto* label : window->findChildren<QLabel*>())
                      texts << label->text();
              });
    ASSERT_FALSE(texts.isEmpty());
    // No English word left on the dialog's buttons and labels.
    for (const QString& text : texts)
        EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("[A-Za-z]{3,}"))))
            << qPrintable(text);
    EXPECT_TRUE(texts.contains(QStringLiteral("取消"))) << qPrintable(texts.join(u'|'));
}

} // namespace

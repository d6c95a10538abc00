#include "platform/RealPlatform.h"

#include "platform/WaitCursor.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The title of every warning box.
const QString WarnTitle = QStringLiteral("提示");

QMessageBox::StandardButton RunBox(QMessageBox::Icon icon, QWidget* owner, const QString& title,
                                   const QString& text, QMessageBox::StandardButtons buttons,
                                   QMessageBox::StandardButton defaultButton)
{
    QMessageBox box(icon, title, text, buttons, owner);
    box.setTextFormat(Qt::PlainText); // texts may carry what a user typed
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace

void QtPrompts::Warn(QWidget* owner, const QString& text)
{
    RunBox(QMessageBox::Warning, owner, WarnTitle, text, QMessageBox::Ok, QMessageBox::Ok);
}

void QtPrompts::Plain(QWidget* owner, const QString& text)
{
    RunBox(QMessageBox::NoIcon, owner, QApplication::applicationName(), text, QMessageBox::Ok,
           QMessageBox::Ok);
}

bool QtPrompts::Ask(QWidget* owner, const QString& title, const QString& text)
{
    return RunBox(QMessageBox::Question, owner, title, text, QMessageBox::Yes | QMessageBox::No,
                  QMessageBox::Yes)
        == QMessageBox::Yes;
}

void QtPrompts::Inform(QWidget* owner, const QString& title, const QString& text)
{
    RunBox(QMessageBox::NoIcon, owner, title, text, QMessageBox::Ok, QMessageBox::Ok);
}

QString QtFileChooser::ChooseOpen(QWidget* owner, const QString& filter)
{
    // Open style, but a name that does not exist yet may be typed: downloads use the
    // chosen name as the start of the file they write.
    QFileDialog dialog(owner, QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().front();
}

void DesktopShell::Open(QWidget*, const QString& address)
{
    const QUrl url(address);
    // A one-letter scheme is a drive letter, not a scheme.
    if (url.isValid() && url.scheme().size() > 1)
        QDesktopServices::openUrl(url);
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(address).absoluteFilePath()));
}

namespace {

class PlaceholderMoviePlayer final : public MoviePlayer
{
public:
    explicit PlaceholderMoviePlayer(QWidget* parent)
        : m_widget(new QLabel(parent))
    {
        m_widget->setAlignment(Qt::AlignCenter);
        m_widget->setWordWrap(true);
        m_widget->setText(QStringLiteral("播放器不可用"));
        m_widget->setAutoFillBackground(true);
        QPalette palette = m_widget->palette();
        palette.setColor(QPalette::Window, Qt::black);
        palette.setColor(QPalette::WindowText, Qt::lightGray);
        m_widget->setPalette(palette);
    }
    ~PlaceholderMoviePlayer() override { delete m_widget.data(); }

    QWidget* Widget() override { return m_widget.data(); }
    void LoadMovie(int, const QString&) override { }
    void Play() override { }
    void SetMenu(bool) override { }

private:
    QPointer<QLabel> m_widget;
};

} // namespace

std::unique_ptr<MoviePlayer> PlaceholderMovieFactory::Create(QWidget* parent)
{
    return std::make_unique<PlaceholderMoviePlayer>(parent);
}

RealPlatform::RealPlatform(std::unique_ptr<MoviePlayerFactory> movies)
    : m_movies(movies ? std::move(movies) : std::make_unique<PlaceholderMovieFactory>())
{
    ShowWaitCursorDuring(m_waits);
}

Platform RealPlatform::bundle()
{
    return Platform{m_prompts, m_files, m_shell, m_sound, *m_movies, m_waits};
}

#include "FakePlatform.h"

#include <gtest/gtest.h>

void FakePrompts::Warn(QWidget* owner, const QString& text)
{
    entries.push_back({Kind::Warn, owner, QString(), text});
}

void FakePrompts::Plain(QWidget* owner, const QString& text)
{
    entries.push_back({Kind::Plain, owner, QString(), text});
}

bool FakePrompts::Ask(QWidget* owner, const QString& title, const QString& text)
{
    entries.push_back({Kind::Ask, owner, title, text});
    return answer;
}

void FakePrompts::Inform(QWidget* owner, const QString& title, const QString& text)
{
    entries.push_back({Kind::Inform, owner, title, text});
}

QStringList FakePrompts::Texts() const
{
    QStringList texts;
    for (const Entry& entry : entries)
        texts << entry.text;
    return texts;
}

const FakePrompts::Entry& FakePrompts::Last() const
{
    static const Entry none{Kind::Warn, nullptr, QString(), QString()};
    if (entries.empty()) {
        ADD_FAILURE() << "no message was shown";
        return none;
    }
    return entries.back();
}

QString FakeFileChooser::ChooseOpen(QWidget* owner, const QString& filter)
{
    owners.push_back(owner);
    filters << filter;
    return path;
}

void FakeShell::Open(QWidget*, const QString& address)
{
    opened << address;
}

void FakeSound::Play(const QString& wavFile)
{
    played << wavFile;
}

FakeMoviePlayer::FakeMoviePlayer(QWidget* parent, QStringList& calls)
    : m_widget(new QWidget(parent))
    , m_calls(calls)
{
}

FakeMoviePlayer::~FakeMoviePlayer()
{
    delete m_widget.data();
}

void FakeMoviePlayer::LoadMovie(int layer, const QString& url)
{
    m_calls << QStringLiteral("LoadMovie %1 %2").arg(layer).arg(url);
}

void FakeMoviePlayer::Play()
{
    m_calls << QStringLiteral("Play");
}

void FakeMoviePlayer::SetMenu(bool on)
{
    m_calls << QStringLiteral("SetMenu %1").arg(on ? 1 : 0);
}

std::unique_ptr<MoviePlayer> FakeMoviePlayerFactory::Create(QWidget* parent)
{
    ++created;
    return std::make_unique<FakeMoviePlayer>(parent, calls);
}

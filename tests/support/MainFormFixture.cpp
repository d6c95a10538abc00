#include "MainFormFixture.h"

#include "Wait.h"

#include "client/DbWaits.h"
#include "core/GbkText.h"
#include "db/Login.h"

#include <QBuffer>
#include <QImage>

ScratchDatabase* MainFormFixture::s_db = nullptr;

void MainFormFixture::SetUpTestSuite()
{
    s_db =
        new ScratchDatabase(::testing::UnitTest::GetInstance()->current_test_suite()->name(), true);
}

void MainFormFixture::TearDownTestSuite()
{
    delete s_db;
    s_db = nullptr;
}

std::string MainFormFixture::Bmp(int width, int height, unsigned rgb)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(rgb);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes.toStdString();
}

void MainFormFixture::SetUp()
{
    ASSERT_TRUE(m_presence.bind(QHostAddress::LocalHost, 0));
    m_settings = s_db->settings();
    m_settings.httpPort = static_cast<unsigned>(m_http.port());
    m_settings.weatherHost = "127.0.0.1:" + std::to_string(m_http.port());
    m_settings.lookupHost = m_settings.weatherHost;
    m_settings.presencePort = m_presence.localPort();
    m_session.ServerAddress = "127.0.0.1";
    m_db = std::make_unique<DbSession>(m_settings);
    HookWaits(*m_db, m_fake.waits); // as the program does

    m_http.Serve("/low.bmp", Bmp(273, 79, 0xff3366));
    m_http.Serve("/high.bmp", Bmp(273, 79, 0x33cc66));
    m_http.Serve("/link.php", "<html>(http://left.example/a) and [http://right.example/b]</html>");
    m_http.Serve("/tb.q", "<x><temperature><![CDATA[" + Utf8ToGbk("25℃") + "]]></temperature></x>");
}

void MainFormFixture::TearDown()
{
    m_form.reset();
}

TMainForm::LoginRunner MainFormFixture::LoginAs(const std::string& name,
                                                const std::string& password)
{
    return [this, name, password](TMainForm&) {
        login account(m_session, *m_db, m_settings);
        m_db->Connected = account.Connect();
        if (!m_db->Connected)
            return false;
        account.SetUser(name, password);
        return account.DoLogin() == LoginOutcome::LoggedIn;
    };
}

TMainForm& MainFormFixture::Start(TMainForm::LoginRunner runner)
{
    m_form = TMainForm::Launch(m_session, *m_db, m_settings, m_platform, std::move(runner));
    return *m_form;
}

std::vector<std::string> MainFormFixture::Datagrams(int waitMs)
{
    WaitUntil([] { return false; }, waitMs);
    while (m_presence.hasPendingDatagrams()) {
        QByteArray data(static_cast<int>(m_presence.pendingDatagramSize()), '\0');
        m_presence.readDatagram(data.data(), data.size());
        m_datagrams.push_back(data.toStdString());
    }
    return m_datagrams;
}

ClickLabel* MainFormFixture::Row(int i) const
{
    static const char* const names[] = {"Label2", "Label3", "Label5",  "Label7",
                                        "Label8", "Label9", "Label10", "Label11"};
    return Label(names[i]);
}

ClickLabel* MainFormFixture::RowBadge(int i) const
{
    return Label(QString("Image%1").arg(i + 3).toLatin1().constData());
}

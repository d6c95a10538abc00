// A download is saved whole or not at all: whatever fails (the server, the disk) leaves a
// file of the same name as it was, and nothing else beside it. The full disk is a small
// tmpfs; ctest runs this program in a mount namespace of its own (unshare -m), so nobody
// else sees it.

#include "LogCapture.h"
#include "MainFormFixture.h"

#include "ui/Controls.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>

namespace {

// A tmpfs of 64 KB over a folder of its own while it lives.
class SmallDisk
{
public:
    SmallDisk()
    {
        m_ok =
            ::mount("tmpfs", m_dir.path().toLocal8Bit().constData(), "tmpfs", 0, "size=64k") == 0;
        if (!m_ok)
            m_error = std::strerror(errno);
    }
    ~SmallDisk()
    {
        if (m_ok)
            ::umount2(m_dir.path().toLocal8Bit().constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool ok() const { return m_ok; }
    const char* error() const { return m_error; }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
    const char* m_error = "";
};

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

using AtomicSave = MainFormFixture;

TEST_F(AtomicSave, AFailedDownloadLeavesTheEarlierFileAsItWas)
{
    SmallDisk disk;
    ASSERT_TRUE(disk.ok()) << "cannot mount a tmpfs (root in a mount namespace needed): "
                           << disk.error();
    s_db->exec("DELETE FROM zumalo_zhongzi; INSERT INTO zumalo_zhongzi(text, link) VALUES "
               "('big', 'big.torrent'), ('gone', 'gone.torrent'), ('small', 'small.torrent')");
    m_http.Serve("/zhongzi/small.torrent", std::string(1234, 'n'));
    m_http.Serve("/zhongzi/big.torrent", std::string(256 * 1024, 'b')); // more than the disk
    StartAsDemo();
    ASSERT_EQ(Row(0)->text(), "small");

    const QString prefix = disk.path() + "/t";
    const QString target = prefix + "【欢迎共享种子到"
        + QString::fromStdString(m_settings.ShareContactAddress) + "】.torrent";
    const struct
    {
        const char* fault;
        int row;
        QString told;
        QByteArray left;    // what the file holds afterwards
        const char* logged; // in the log, "" for nothing to look for
    } cases[] = {
        {"none", 0, "下载种子完成，种子大小1234字节", QByteArray(1234, 'n'), ""},
        {"the server has no such file", 1, "下载种子失败...", "earlier", ""},
        {"the disk is full", 2, "下载种子失败...", "earlier", "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        const LogCapture log;
        QFile earlier(target);
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly | QIODevice::Truncate));
        earlier.write("earlier");
        earlier.close();
        m_fake.prompts.entries.clear();
        m_fake.files.path = prefix;

        emit Row(c.row)->clicked();

        ASSERT_FALSE(m_fake.prompts.entries.empty());
        EXPECT_EQ(m_fake.prompts.Last().text, c.told);
        EXPECT_EQ(Read(target), c.left);
        // Only the file itself is there: no temporary one is left behind.
        EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
                  QStringList{QFileInfo(target).fileName()});
        if (*c.logged) {
            EXPECT_TRUE(LogCapture::Text().contains(c.logged)) << LogCapture::Text().toStdString();
        }
    }
}

} // namespace

#include "Movies.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <fstream>
#include <sstream>

bool WaitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < timeoutMs) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

std::string SampleMovie(const std::string& name)
{
    std::ifstream in(std::string(ZUMALO_TEST_SOURCE_DIR) + "/content/sp/" + name, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

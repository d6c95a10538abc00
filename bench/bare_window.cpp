// The floor of the client benchmark: the least a Qt Widgets program needs to show what the
// login dialog shows first, a window of its size with its two Chinese labels and two edits in
// the same font, and nothing else (no network, no database, no sound).
//
// Built as bare_window_fetch (BARE_WINDOW_FETCH), it takes --fetch URL, as often as given, and
// first fetches each address with libcurl and shows the last one's picture as the banner, as
// the login dialog looks the server up and loads its banner before it shows: the floor of
// the work the dialog cannot do without.
#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>

#ifdef BARE_WINDOW_FETCH
#include <curl/curl.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::size_t Append(char* data, std::size_t size, std::size_t count, void* user)
{
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

std::string Fetch(const char* url)
{
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl)
        return body;
    curl_easy_setopt(curl, CURLOPT_URL, url);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 4L);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return body;
}

} // namespace
#endif

int main(int argc, char** argv)
{
#ifdef BARE_WINDOW_FETCH
    std::vector<const char*> fetches;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--fetch") == 0)
            fetches.push_back(argv[++i]);
    }
#endif

    QApplication app(argc, argv);
    // The font of the login dialog's labels and edits, found the same way.
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("Noto Sans CJK SC"),
                                QStringLiteral("Droid Sans Fallback")});
    QFont font(QStringLiteral("宋体"));
    font.setPixelSize(15);
    font.setStyleStrategy(QFont::PreferAntialias);

    QDialog window;
    window.setWindowTitle(QStringLiteral("bare window"));
    window.setFixedSize(302, 212);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());

    QLabel banner(&window);
    banner.setGeometry(0, 0, 302, 97);
    banner.setScaledContents(true);
#ifdef BARE_WINDOW_FETCH
    if (!fetches.empty()) {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        std::string last;
        for (const char* url : fetches)
            last = Fetch(url);
        const QImage picture = QImage::fromData(reinterpret_cast<const uchar*>(last.data()),
                                                static_cast<int>(last.size()), "BMP");
        if (!picture.isNull())
            banner.setPixmap(QPixmap::fromImage(picture));
    }
#endif

    QLabel name(QStringLiteral("用户名"), &window);
    name.setFont(font);
    name.move(32, 112);
    QLabel password(QStringLiteral("密  码"), &window);
    password.setFont(font);
    password.move(32, 144);
    QLineEdit nameEdit(&window);
    nameEdit.setGeometry(104, 108, 161, 23);
    nameEdit.setFont(font);
    QLineEdit passwordEdit(&window);
    passwordEdit.setGeometry(104, 140, 161, 23);
    passwordEdit.setFont(font);
    passwordEdit.setEchoMode(QLineEdit::Password);
    nameEdit.setFocus();

    window.show();
    return app.exec();
}

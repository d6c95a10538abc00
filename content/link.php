(http://127.0.0.1:8081/help.html)
[http://127.0.0.1:8081/news.html]

-- Sample content for the local stack. Loaded with a utf8mb4 client connection.
SET NAMES utf8mb4;

INSERT INTO zumalo_userinfo(username, userpwd, usersex, userage, userarea, userqq, userphone, usermail, userscore) VALUES
 ('demo',   'demo123', '1', '24', '北京海淀', '10086123', '010-62345678', 'demo@zumalo.example', 20),
 ('小雨',   'xiaoyu88', '0', '21', '上海徐汇', '22334455', '13800138000', 'xiaoyu@zumalo.example', 64),
 ('老王',   'laowang1', '1', '35', '广州天河', '5566778', '020-88886666', 'laowang@zumalo.example', 8),
 ('bob',    'bobpass',  '1', '28', '深圳南山', '778899', '0755-2666888', 'bob@zumalo.example', 12),
 ('阿杰',   'ajie2024', '1', '19', '成都武侯', '99887766', '18628001234', 'ajie@zumalo.example', 2);

REPLACE INTO zumalo_sys(sys_id, sys_message, sys_enable, sys_caption1, sys_caption2, sys_caption3, sys_caption4, sys_caption5,
                      sys_link1, sys_link2, sys_link3, sys_link4, sys_link5, sys_reglink) VALUES
 (1, '新版本Zumalo2.rar已发布，修复聊天室断线问题，欢迎下载！', '1',
  '欢迎来到Zumalo社区', '上传视频可获得2积分', '周末电影之夜：本周六晚八点', '请文明发言，共建和谐社区', '快贴板块开放投稿',
  'http://127.0.0.1:8081/link.php', 'http://127.0.0.1:8081/help.html', 'http://127.0.0.1:8081/movie.html',
  'http://127.0.0.1:8081/rules.html', 'http://127.0.0.1:8081/news.html',
  'http://127.0.0.1:8081/sp/welcome.swf');

INSERT INTO zumalo_zhongzi(text, link, allowScore, username) VALUES
 ('Debian 12 网络安装镜像 amd64', 'debian-12-netinst.torrent', 0, '老王'),
 ('Ubuntu 22.04 桌面版', 'ubuntu-22.04-desktop.torrent', 0, '老王'),
 ('开源动画《大雄兔》1080p', 'big-buck-bunny-1080p.torrent', 0, '小雨'),
 ('开源动画《辛特尔》中文字幕', 'sintel-zh.torrent', 0, '小雨'),
 ('开源动画《钢之泪》', 'tears-of-steel.torrent', 0, 'bob'),
 ('开源动画《大象之梦》', 'elephants-dream.torrent', 0, 'bob'),
 ('古典音乐合集 巴赫 平均律', 'bach-wtc.torrent', 0, '阿杰'),
 ('贝多芬 第九交响曲 公版录音', 'beethoven-9.torrent', 0, '阿杰'),
 ('LibreOffice 办公套件 安装包', 'libreoffice.torrent', 0, 'demo'),
 ('GIMP 图像处理 安装包', 'gimp.torrent', 0, 'demo'),
 ('Blender 三维建模 教程合集', 'blender-tutorials.torrent', 0, '小雨'),
 ('Python 入门教程 视频版', 'python-course.torrent', 0, '老王'),
 ('中国古典名著 有声书 三国演义', 'sanguo-audio.torrent', 0, '阿杰'),
 ('西游记 有声书 全集', 'xiyouji-audio.torrent', 0, '阿杰'),
 ('公版电影《城市之光》', 'city-lights.torrent', 0, 'bob'),
 ('公版电影《摩登时代》', 'modern-times.torrent', 0, 'bob'),
 ('NASA 地球影像 高清合集', 'nasa-earth.torrent', 0, '小雨'),
 ('维基百科 中文离线包', 'zhwiki-offline.torrent', 0, '老王'),
 ('Arch Linux 安装镜像', 'archlinux.torrent', 0, 'demo'),
 ('Fedora 工作站 39', 'fedora-39.torrent', 0, 'demo'),
 ('Inkscape 矢量绘图 安装包', 'inkscape.torrent', 0, '小雨'),
 ('开源游戏《超级企鹅》', 'supertux.torrent', 0, 'bob');

INSERT INTO zumalo_sp(text, link, allowScore, username, uploadtime) VALUES
 ('弹跳的小球', 'http://127.0.0.1:8081/sp/bounce.swf', 0, '小雨', '2026-11-02 09:15:30'),
 ('彩虹条纹', 'http://127.0.0.1:8081/sp/rainbow.swf', 0, 'bob', '2026-11-03 20:41:02'),
 ('满天星', 'http://127.0.0.1:8081/sp/stars.swf', 10, '阿杰', '2026-11-05 22:03:11'),
 ('旋转方块', 'http://127.0.0.1:8081/sp/spin.swf', 0, '老王', '2026-11-08 13:27:45'),
 ('欢迎来到Zumalo', 'http://127.0.0.1:8081/sp/welcome.swf', 0, 'demo', '2026-11-10 08:00:00'),
 ('周末电影预告', 'http://127.0.0.1:8081/sp/rainbow.swf', 20, '小雨', '2026-11-12 18:30:00'),
 ('小球接力赛', 'http://127.0.0.1:8081/sp/bounce.swf', 5, 'bob', '2026-11-15 16:45:09'),
 ('星空延时', 'http://127.0.0.1:8081/sp/stars.swf', 50, '小雨', '2026-11-18 23:59:01'),
 ('方块舞', 'http://127.0.0.1:8081/sp/spin.swf', 10, '阿杰', '2026-11-21 11:11:11'),
 ('社区新年贺卡', 'http://127.0.0.1:8081/sp/welcome.swf', 0, '老王', '2026-11-25 10:20:30'),
 ('会员专享：彩虹之夜', 'http://127.0.0.1:8081/sp/rainbow.swf', 100, '小雨', '2026-12-01 21:00:00'),
 ('今日推荐动画', 'http://127.0.0.1:8081/sp/bounce.swf', 0, 'demo', '2026-12-08 07:45:00');

INSERT INTO zumalo_news(text, link, allowScore, username, submittime) VALUES
 ('Zumalo 使用帮助', 'http://127.0.0.1:8081/help.html', 0, '老王', '2026-11-01 10:00:00'),
 ('社区规则（必读）', 'http://127.0.0.1:8081/rules.html', 0, '老王', '2026-11-01 10:05:00'),
 ('本周电影之夜片单', 'http://127.0.0.1:8081/movie.html', 0, '小雨', '2026-11-04 19:00:00'),
 ('如何制作种子文件', 'http://127.0.0.1:8081/help.html#torrent', 0, 'bob', '2026-11-06 14:22:10'),
 ('聊天室新功能介绍', 'http://127.0.0.1:8081/news.html', 0, 'demo', '2026-11-09 09:09:09'),
 ('求推荐好看的纪录片', 'http://127.0.0.1:8081/news.html#doc', 0, '阿杰', '2026-11-11 21:30:00'),
 ('视频积分说明', 'http://127.0.0.1:8081/help.html#score', 0, '老王', '2026-11-13 08:30:00'),
 ('周末羽毛球约起', 'http://127.0.0.1:8081/news.html#sport', 0, 'bob', '2026-11-16 12:00:00'),
 ('二手显示器转让', 'http://127.0.0.1:8081/news.html#market', 0, '阿杰', '2026-11-19 17:45:00'),
 ('冬至包饺子活动', 'http://127.0.0.1:8081/news.html#dumpling', 0, '小雨', '2026-11-24 11:00:00'),
 ('服务器维护通知', 'http://127.0.0.1:8081/news.html#maintenance', 0, '老王', '2026-12-02 22:00:00'),
 ('新版本 Zumalo2 更新说明', 'http://127.0.0.1:8081/news.html#v2', 0, '老王', '2026-12-09 09:00:00');

INSERT INTO zumalo_bodysay(username, saybody, saytime) VALUES
 ('老王', '大家好，欢迎来到Zumalo！', '2026-11-01 10:10:00'),
 ('小雨', '沙发！界面好可爱', '2026-11-01 10:12:31'),
 ('bob', 'hi', '2026-11-01 11:00:00'),
 ('阿杰', '种子下载速度很快，赞一个', '2026-11-02 20:15:42'),
 ('demo', '请问怎么上传视频？', '2026-11-03 09:30:00'),
 ('老王', '点上面的“上传视频”按钮就行', '2026-11-03 09:45:12'),
 ('小雨', '周六电影之夜有人一起吗', '2026-11-05 18:20:00'),
 ('bob', '我来！', '2026-11-05 18:25:33'),
 ('阿杰', '星空那个视频积分不够看不了……', '2026-11-06 22:01:09'),
 ('老王', '多上传几个视频就有积分啦', '2026-11-06 22:10:45'),
 ('demo', '留言板终于有分页了', '2026-11-08 14:00:00'),
 ('小雨', '今天好冷，大家注意保暖', '2026-11-12 07:50:20'),
 ('bob', '有人会用Blender吗', '2026-11-14 16:33:00'),
 ('阿杰', '会一点，可以交流', '2026-11-14 16:40:18'),
 ('老王', '服务器下周二凌晨维护', '2026-11-20 23:00:00'),
 ('小雨', '新年贺卡视频好看！', '2026-11-25 12:12:12'),
 ('demo', '快贴板块不错', '2026-11-28 19:19:19'),
 ('bob', '求一个Python教程', '2026-12-01 10:01:01'),
 ('阿杰', '种子区第二页有', '2026-12-01 10:30:00'),
 ('老王', '新版本已发布，点上面的通告下载', '2026-12-09 09:05:00'),
 ('小雨', '升级完了，聊天室很稳定', '2026-12-09 20:48:00');

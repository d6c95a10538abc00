-- Zumalo database "test". Tables hold gb2312, the character set the client's connection
-- speaks, so no row can hold a text the client would receive as "?": the server refuses
-- such a text from any connection (strict mode). Comparisons are exact (binary, no pad).
--
-- The four list tables use the Aria engine: it keeps an exact row count, so the
-- "select count(*)" behind every page switch answers at once however long a list grows
-- (InnoDB scans an index for it, some 67 ms at a million rows), and unlike MyISAM it
-- recovers from a crash (TRANSACTIONAL=1). Accounts and the service record stay InnoDB.

CREATE TABLE IF NOT EXISTS zumalo_userinfo (
  userid     INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  username   VARCHAR(64)  NOT NULL,
  userpwd    VARCHAR(64)  NOT NULL,
  usersex    VARCHAR(4)   NOT NULL DEFAULT '1',
  userage    VARCHAR(16)  NOT NULL DEFAULT '',
  userarea   VARCHAR(100) NOT NULL DEFAULT '',
  userqq     VARCHAR(64)  NOT NULL DEFAULT '',
  userphone  VARCHAR(32)  NOT NULL DEFAULT '',
  usermail   VARCHAR(100) NOT NULL DEFAULT '',
  userscore  INT NOT NULL DEFAULT 0,
  UNIQUE KEY username (username)
) ENGINE=InnoDB DEFAULT CHARSET=gb2312 COLLATE=gb2312_nopad_bin;

CREATE TABLE IF NOT EXISTS zumalo_sys (
  sys_id       INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  sys_message  VARCHAR(255) NULL,
  sys_enable   VARCHAR(8)   NULL DEFAULT '1',
  sys_caption1 VARCHAR(255) NULL, sys_caption2 VARCHAR(255) NULL, sys_caption3 VARCHAR(255) NULL,
  sys_caption4 VARCHAR(255) NULL, sys_caption5 VARCHAR(255) NULL,
  sys_link1    VARCHAR(255) NULL, sys_link2    VARCHAR(255) NULL, sys_link3    VARCHAR(255) NULL,
  sys_link4    VARCHAR(255) NULL, sys_link5    VARCHAR(255) NULL,
  sys_reglink  VARCHAR(255) NULL
) ENGINE=InnoDB DEFAULT CHARSET=gb2312 COLLATE=gb2312_nopad_bin;
-- The one service row, with the service on and no notice yet; loading the schema again keeps
-- the row an operator has changed.
INSERT IGNORE INTO zumalo_sys(sys_id, sys_message, sys_enable) VALUES (1, '', '1');

-- Activation finds an entry again by the very text its row shows. allowScore holds the integer text as the uploader typed it ("10",
-- "$0A"); the client converts it when a video is opened.
CREATE TABLE IF NOT EXISTS zumalo_zhongzi (
  id         INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  text       VARCHAR(200) NOT NULL,
  link       VARCHAR(1024) NOT NULL DEFAULT '',
  allowScore VARCHAR(32)  NULL DEFAULT '0',
  username   VARCHAR(64)  NOT NULL DEFAULT '',
  KEY text (text)
) ENGINE=Aria TRANSACTIONAL=1 DEFAULT CHARSET=gb2312 COLLATE=gb2312_nopad_bin;

CREATE TABLE IF NOT EXISTS zumalo_sp (
  id         INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  text       VARCHAR(200) NOT NULL,
  link       VARCHAR(1024) NOT NULL DEFAULT '',
  allowScore VARCHAR(32)  NULL DEFAULT '0',
  username   VARCHAR(64)  NOT NULL DEFAULT '',
  uploadtime DATETIME NULL,
  KEY text (text),
  KEY username (username)
) ENGINE=Aria TRANSACTIONAL=1 DEFAULT CHARSET=gb2312 COLLATE=gb2312_nopad_bin;

CREATE TABLE IF NOT EXISTS zumalo_news (
  id         INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  text       VARCHAR(200) NOT NULL,
  link       VARCHAR(1024) NOT NULL DEFAULT '',
  allowScore VARCHAR(32)  NULL DEFAULT '0',
  username   VARCHAR(64)  NOT NULL DEFAULT '',
  submittime DATETIME NULL,
  KEY text (text),
  KEY username (username)
) ENGINE=Aria TRANSACTIONAL=1 DEFAULT CHARSET=gb2312 COLLATE=gb2312_nopad_bin;

CREATE TABLE IF NOT EXISTS zumalo_bodysay (
  id       INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
  username VARCHAR(64)  NOT NULL DEFAULT '',
  saybody  VARCHAR(255) NOT NULL DEFAULT '',
  saytime  DATETIME NOT NULL,
  KEY saytime (saytime, id),
  KEY username (username)
) ENGINE=Aria TRANSACTIONAL=1 DEFAULT CHARSET=gb2312 COLLATE=gb2312_nopad_bin;

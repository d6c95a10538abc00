-- What the program's account may do in the database "test": exactly what the client's
-- statements need, nothing more. The account's password ships inside every client, so
-- anyone can use it directly; these grants are what such a person can do.
--   read:   the six tables
--   insert: new accounts, videos, quick posts, board messages
--   update: a password and a score, never a name or anything else
-- Run after schema.sql, as an administrator (scripts/dev-stack does).
REVOKE ALL PRIVILEGES, GRANT OPTION FROM 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';
GRANT SELECT ON test.zumalo_sys TO 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';
GRANT SELECT ON test.zumalo_zhongzi TO 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';
GRANT SELECT, INSERT ON test.zumalo_sp TO 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';
GRANT SELECT, INSERT ON test.zumalo_news TO 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';
GRANT SELECT, INSERT ON test.zumalo_bodysay TO 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';
GRANT SELECT, INSERT, UPDATE (userpwd, userscore) ON test.zumalo_userinfo
  TO 'connect_server'@'localhost', 'connect_server'@'127.0.0.1';

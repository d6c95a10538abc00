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
-- One member must not hold the database for everyone else:
--   a statement of the account ends after 6 s, the client's own read bound: the client has
--   given up on the answer by then, so the server stops working for it too (the client's
--   statements take milliseconds; BENCHMARK(), SLEEP() or a self-join end at 6 s);
--   the account holds at most 5,900 connections of the 6,000 that db/mariadb.cnf allows
--   (max_connections), so that 100 stay for the operator, the replication and anything else
--   that is not a member, besides the health check's own port (extra_port). On a server
--   with another max_connections, keep the ceiling 100 below it:
--     ALTER USER 'connect_server'@'127.0.0.1' WITH MAX_USER_CONNECTIONS n;
-- The account on localhost is reached only through the server's socket, on its own host.
ALTER USER 'connect_server'@'localhost', 'connect_server'@'127.0.0.1'
  WITH MAX_USER_CONNECTIONS 5900 MAX_STATEMENT_TIME 6;

#!/bin/sh
# Starts Dovecot's POP3 server in the foreground on 127.0.0.1:PORT for the tests, serving the
# Maildir MAILDIR to one passwd-file user (uid 65534) with a plain-text password. Needs root.
# With CERT and KEY, TLS is required: STLS on PORT and TLS from the first byte on TLSPORT.
# usage: dovecot_pop3.sh WORKDIR MAILDIR PORT USER PASSWORD [CERT KEY TLSPORT]
set -e
work=$1 maildir=$2 port=$3 user=$4 password=$5 cert=$6 key=$7 tlsport=$8
ssl="ssl = no"
tls_listener=
if [ -n "$cert" ]; then
  ssl="ssl = required
ssl_cert = <$cert
ssl_key = <$key"
  tls_listener="inet_listener pop3s {
    address = 127.0.0.1
    port = $tlsport
    ssl = yes
  }"
fi
mkdir -p "$work/run" "$work/state" "$maildir/new" "$maildir/cur" "$maildir/tmp"
chown -R 65534:65534 "$maildir"
chmod 755 "$work"
echo "$user:{PLAIN}$password:65534:65534::$work/home::" > "$work/passwd"
cat > "$work/dovecot.conf" <<CONF
protocols = pop3
listen = 127.0.0.1
base_dir = $work/run
state_dir = $work/state
log_path = $work/dovecot.log
$ssl
disable_plaintext_auth = no
auth_mechanisms = plain
default_internal_user = dovecot
default_login_user = dovenull
first_valid_uid = 1
mail_location = maildir:$maildir
pop3_uidl_format = %08Xu%08Xv
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $work/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u $work/passwd
}
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  $tls_listener
}
CONF
exec /usr/sbin/dovecot -F -c "$work/dovecot.conf"

#!/bin/sh
# Starts vsftpd in the foreground on 127.0.0.1:PORT for the tests. The local user (created when
# missing, password set with chpasswd) lands in ROOT. Needs root. With TLS "explicit" (AUTH TLS
# required for log-in and data, the data connection resuming the control session) or "implicit"
# (TLS from the first byte), CERT and KEY are the server's certificate and key.
# usage: ftp_vsftpd.sh WORKDIR ROOT PORT USER PASSWORD [explicit|implicit CERT KEY]
set -e
work=$1 root=$2 port=$3 user=$4 password=$5 tls=${6:-} cert=${7:-} key=${8:-}
# Tests start servers in parallel: one at a time edits the user database.
(
    flock 9
    if ! id "$user" >/dev/null 2>&1; then
        useradd -M -d / -s /usr/sbin/nologin "$user"
    fi
    usermod -d / "$user"
    echo "$user:$password" | chpasswd
) 9>/tmp/fernlay-vsftpd-user.lock
chown "$user" "$root"
mkdir -p "$work/empty"
cat > "$work/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$port
background=NO
seccomp_sandbox=NO
check_shell=NO
secure_chroot_dir=$work/empty
anonymous_enable=NO
local_enable=YES
write_enable=YES
local_umask=022
local_root=$root
connect_from_port_20=NO
port_enable=YES
pasv_enable=YES
xferlog_enable=NO
vsftpd_log_file=$work/vsftpd.log
# No such PAM service: the fallback checks the password but not the (nologin) shell.
pam_service_name=fernlay-ftp-test
ftpd_banner=fernlay test server ready
CONF
if [ -n "$tls" ]; then
    cat >> "$work/vsftpd.conf" <<CONF
ssl_enable=YES
rsa_cert_file=$cert
rsa_private_key_file=$key
require_ssl_reuse=YES
force_local_logins_ssl=YES
force_local_data_ssl=YES
ssl_ciphers=HIGH
CONF
    [ "$tls" = implicit ] && echo "implicit_ssl=YES" >> "$work/vsftpd.conf"
fi
exec /usr/sbin/vsftpd "$work/vsftpd.conf"

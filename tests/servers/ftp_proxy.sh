#!/bin/sh
# Starts ftp-proxy in the foreground on 127.0.0.1:PORT. Clients log in as "USER user@host";
# the proxy then connects to host on DEST_PORT.
# usage: ftp_proxy.sh WORKDIR PORT DEST_PORT
set -e
work=$1 port=$2 dest_port=$3
cat > "$work/ftp-proxy.conf" <<CONF
[-Global-]
Listen 127.0.0.1
Port $port
User nobody
Group nogroup
DestinationAddress 127.0.0.1
DestinationPort $dest_port
AllowMagicUser yes
PidFile $work/ftp-proxy.pid
CONF
exec /usr/sbin/ftp-proxy -n -d -f "$work/ftp-proxy.conf"

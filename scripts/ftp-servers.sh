#!/usr/bin/env bash
# start DIR: starts the real FTP servers used by the integration tests on loopback and prints
# the export lines that tell the tests where they are. stop DIR: stops them.
#
# Two servers from Debian's archive: pyftpdlib (python3-pyftpdlib) and vsftpd. Each serves its
# own empty root folder under DIR. vsftpd logs in a system user through PAM, so the script
# creates that user when missing (needs root). Ports: TALLOWIN_FTP_PORT_BASE (default 21021)
# for pyftpdlib, the next one for vsftpd, and passive ranges above 30000 derived from it, so two
# copies of the suite can run side by side with different bases.
#
# Beside them the same two with explicit FTP over TLS required for logins and data, under a
# self-signed certificate made at start (CN and DNS name "localhost"): pyftpdlib's TLS handler
# (python3-openssl) on base + 2 and vsftpd with session reuse required on base + 3, passive
# ranges above 40000. They are listed apart (TALLOWIN_FTPS_SERVERS), so the tests of plain FTP
# never meet them.
# One more vsftpd (base + 4) takes at most two connections from one address, as servers on
# shared hosts do; it is listed apart too (TALLOWIN_FTP_LIMITED_SERVERS), for the tests of a
# batch over several connections.
# Everything but the export lines goes to stderr.
set -euo pipefail
cmd=${1:?start or stop}
dir=$(mkdir -p "${2:?state folder}" && cd "$2" && pwd)

base=${TALLOWIN_FTP_PORT_BASE:-21021}
pyPort=$base
vsPort=$((base + 1))
pasvBase=$((30000 + (base % 100) * 200))
pyTlsPort=$((base + 2))
vsTlsPort=$((base + 3))
tlsPasvBase=$((40000 + (base % 100) * 100))
vsLimitedPort=$((base + 4))
limitedPasvBase=$((50000 + (base % 100) * 100))
cert=$dir/tls-cert.pem
key=$dir/tls-key.pem
user=tallowin-ftp
password=tallowin-ftp-pass

stop_servers() {
  local pidFile pid
  for pidFile in "$dir"/*.pid; do
    [ -e "$pidFile" ] || continue
    pid=$(cat "$pidFile")
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
      kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$pidFile"
  done
}

# True when a server on the port greets with 220.
greets() {
  timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1 && head -c 3 <&3" 2>/dev/null | grep -q '^220'
}

# True when anything accepts connections on the port.
listening() {
  timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$1" 2>/dev/null
}

# Another copy of these servers (or anything else) on our ports would answer in their place
# and the tests would look for files in the wrong folders.
require_free() {
  local port
  for port in "$@"; do
    if listening "$port"; then
      echo "ftp-servers: port $port is taken; stop what runs there or choose other ports with TALLOWIN_FTP_PORT_BASE" >&2
      return 1
    fi
  done
}

wait_for() {
  local name=$1 port=$2 log=$3 pid
  pid=$(cat "$dir/$name.pid")
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    greets "$port" && return 0
    sleep 0.1
  done
  echo "ftp-servers: $name did not start on port $port; its log:" >&2
  cat "$log" >&2 || true
  return 1
}

# start_pyftpdlib NAME PORT PASSIVE_FIRST PASSIVE_COUNT TLS: one pyftpdlib server serving the
# empty folder $dir/NAME-root; with TLS=1 it requires explicit TLS on control and data.
start_pyftpdlib() {
  local name=$1 port=$2 pasvFirst=$3 pasvCount=$4 tls=$5
  local root=$dir/$name-root handlerClass=FTPHandler tlsLines=""
  rm -rf "$root" && mkdir -p "$root"
  if [ "$tls" = 1 ]; then
    handlerClass=TLS_FTPHandler
    tlsLines="handler.certfile = \"$cert\"
handler.keyfile = \"$key\"
handler.tls_control_required = True
handler.tls_data_required = True"
  fi
  cat > "$dir/$name-server.py" <<PY
import errno, logging, os
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import $handlerClass
from pyftpdlib.servers import ThreadedFTPServer

logging.basicConfig(filename="$dir/$name.log", level=logging.WARNING)
authorizer = DummyAuthorizer()
authorizer.add_user("$user", "$password", "$root", perm="elradfmwMT")


class Filesystem(AbstractedFS):
    # pyftpdlib's CWD moves the whole server process into the folder and back; a test that
    # deletes a folder on disk at the wrong moment leaves the process in a deleted folder,
    # and from then on CWD fails for every client. Check the folder without moving there.
    def chdir(self, path):
        if not os.path.isdir(path):
            code = errno.ENOTDIR if os.path.exists(path) else errno.ENOENT
            raise OSError(code, os.strerror(code))
        if not os.access(path, os.X_OK):
            raise OSError(errno.EACCES, os.strerror(errno.EACCES))
        self.cwd = self.fs2ftp(path)


class Handler($handlerClass):
    abstracted_fs = Filesystem


handler = Handler
$tlsLines
handler.authorizer = authorizer
handler.passive_ports = range($pasvFirst, $((pasvFirst + pasvCount)))
handler.auth_failed_timeout = 0.5
# A thread and event loop per client: with one loop shared by all, pyftpdlib 1.5.7 now and
# then loses track of one client's sockets while it closes another's data connection (tests
# run side by side saw logins and passive connections go unanswered).
server = ThreadedFTPServer(("127.0.0.1", $port), handler)
server.max_cons = 256
server.serve_forever()
PY
  (cd "$dir" && exec /usr/bin/python3 "$dir/$name-server.py" >>"$dir/$name.log" 2>&1) &
  echo $! > "$dir/$name.pid"
}

make_certificate() {
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=localhost \
    -addext subjectAltName=DNS:localhost -keyout "$key" -out "$cert" 2>/dev/null
  chmod 0600 "$key"
}

ensure_user() {
  # vsftpd enters the home folder before local_root, so it must exist.
  local home=/var/lib/$user
  if ! id "$user" >/dev/null 2>&1; then
    useradd --no-create-home --home-dir "$home" --shell /bin/sh "$user"
  fi
  usermod --home "$home" "$user" >/dev/null 2>&1 || true
  mkdir -p "$home"
  echo "$user:$password" | chpasswd
  # vsftpd's PAM stack refuses the users listed in /etc/ftpusers.
  if [ -f /etc/ftpusers ] && grep -qx "$user" /etc/ftpusers; then
    sed -i "/^$user\$/d" /etc/ftpusers
  fi
}

start_vsftpd() {
  local root=$dir/vsftpd-root
  ensure_user
  rm -rf "$root" && mkdir -p "$root"
  chown "$user:" "$root"
  chmod 0777 "$root"
  mkdir -p /var/run/vsftpd/empty
  cat > "$dir/vsftpd.conf" <<CONF
listen=YES
listen_ipv6=NO
listen_address=127.0.0.1
listen_port=$vsPort
background=NO
anonymous_enable=NO
local_enable=YES
write_enable=YES
chmod_enable=YES
local_umask=022
local_root=$root
chroot_local_user=YES
allow_writeable_chroot=YES
seccomp_sandbox=NO
pasv_enable=YES
pasv_min_port=$((pasvBase + 100))
pasv_max_port=$((pasvBase + 199))
connect_from_port_20=NO
pam_service_name=vsftpd
secure_chroot_dir=/var/run/vsftpd/empty
max_clients=0
max_per_ip=0
delay_failed_login=1
xferlog_enable=NO
vsftpd_log_file=$dir/vsftpd.log
CONF
  /usr/sbin/vsftpd "$dir/vsftpd.conf" >>"$dir/vsftpd.log" 2>&1 &
  echo $! > "$dir/vsftpd.pid"
}

# The plain vsftpd's settings with TLS required for logins and data, and data connections that
# must resume the control connection's TLS session.
start_vsftpd_tls() {
  local root=$dir/vsftpd_tls-root
  rm -rf "$root" && mkdir -p "$root"
  chown "$user:" "$root"
  chmod 0777 "$root"
  sed -e "s|^listen_port=.*|listen_port=$vsTlsPort|" \
      -e "s|^local_root=.*|local_root=$root|" \
      -e "s|^pasv_min_port=.*|pasv_min_port=$((tlsPasvBase + 50))|" \
      -e "s|^pasv_max_port=.*|pasv_max_port=$((tlsPasvBase + 99))|" \
      -e "s|^vsftpd_log_file=.*|vsftpd_log_file=$dir/vsftpd_tls.log|" \
      "$dir/vsftpd.conf" > "$dir/vsftpd_tls.conf"
  cat >> "$dir/vsftpd_tls.conf" <<CONF
ssl_enable=YES
rsa_cert_file=$cert
rsa_private_key_file=$key
allow_anon_ssl=NO
force_local_logins_ssl=YES
force_local_data_ssl=YES
require_ssl_reuse=YES
ssl_request_cert=NO
ssl_sslv2=NO
ssl_sslv3=NO
ssl_ciphers=HIGH
CONF
  /usr/sbin/vsftpd "$dir/vsftpd_tls.conf" >>"$dir/vsftpd_tls.log" 2>&1 &
  echo $! > "$dir/vsftpd_tls.pid"
}

# The plain vsftpd's settings with at most two connections from one address.
start_vsftpd_limited() {
  local root=$dir/vsftpd_limited-root
  rm -rf "$root" && mkdir -p "$root"
  chown "$user:" "$root"
  chmod 0777 "$root"
  sed -e "s|^listen_port=.*|listen_port=$vsLimitedPort|" \
      -e "s|^local_root=.*|local_root=$root|" \
      -e "s|^pasv_min_port=.*|pasv_min_port=$limitedPasvBase|" \
      -e "s|^pasv_max_port=.*|pasv_max_port=$((limitedPasvBase + 49))|" \
      -e "s|^max_per_ip=.*|max_per_ip=2|" \
      -e "s|^vsftpd_log_file=.*|vsftpd_log_file=$dir/vsftpd_limited.log|" \
      "$dir/vsftpd.conf" > "$dir/vsftpd_limited.conf"
  /usr/sbin/vsftpd "$dir/vsftpd_limited.conf" >>"$dir/vsftpd_limited.log" 2>&1 &
  echo $! > "$dir/vsftpd_limited.pid"
}

case "$cmd" in
  start)
    [ "$(id -u)" -eq 0 ] || { echo "ftp-servers: vsftpd's system user needs root" >&2; exit 1; }
    {
      stop_servers   # stale servers of an earlier run in the same folder
      require_free "$pyPort" "$vsPort" "$pyTlsPort" "$vsTlsPort" "$vsLimitedPort"
      start_pyftpdlib pyftpdlib "$pyPort" "$pasvBase" 99 0
      start_vsftpd
      make_certificate
      start_pyftpdlib pyftpdlib_tls "$pyTlsPort" "$tlsPasvBase" 49 1
      start_vsftpd_tls
      start_vsftpd_limited
      wait_for pyftpdlib "$pyPort" "$dir/pyftpdlib.log"
      wait_for vsftpd "$vsPort" "$dir/vsftpd.log"
      wait_for pyftpdlib_tls "$pyTlsPort" "$dir/pyftpdlib_tls.log"
      wait_for vsftpd_tls "$vsTlsPort" "$dir/vsftpd_tls.log"
      wait_for vsftpd_limited "$vsLimitedPort" "$dir/vsftpd_limited.log"
    } >&2
    echo "export TALLOWIN_FTP_SERVERS='pyftpdlib vsftpd'"
    echo "export TALLOWIN_FTPS_SERVERS='pyftpdlib_tls vsftpd_tls'"
    echo "export TALLOWIN_FTPS_CERT='$cert'"
    echo "export TALLOWIN_FTP_LIMITED_SERVERS='vsftpd_limited'"
    for server in pyftpdlib:$pyPort vsftpd:$vsPort pyftpdlib_tls:$pyTlsPort vsftpd_tls:$vsTlsPort \
                  vsftpd_limited:$vsLimitedPort; do
      name=${server%%:*}; port=${server#*:}; upper=${name^^}
      echo "export TALLOWIN_FTP_${upper}_HOST=127.0.0.1"
      echo "export TALLOWIN_FTP_${upper}_PORT=$port"
      echo "export TALLOWIN_FTP_${upper}_USER=$user"
      echo "export TALLOWIN_FTP_${upper}_PASS=$password"
      echo "export TALLOWIN_FTP_${upper}_ROOT='$dir/$name-root'"
    done
    ;;
  stop) stop_servers ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac

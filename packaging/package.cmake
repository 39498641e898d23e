# The desktop files beyond the executable (icons in every size, the AppStream record, the
# manual pages, the Debian changelog and copyright) and the Debian package built from them
# with CPack (scripts/package.sh).
include(GNUInstallDirs)

foreach(size 16 22 24 32 48 64 256)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/icons/tallowin_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME tallowin.png)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/org.example.tallowin.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Debian wants manual pages and changelogs compressed, reproducibly (no name, no time stamp).
set(packageFiles ${CMAKE_BINARY_DIR}/packaging)
set(compressed)
foreach(pair "tallowin.1:tallowin.1.gz" "tallowin.ja.1:ja/tallowin.1.gz" "changelog:changelog.gz")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  get_filename_component(targetDir ${packageFiles}/${target} DIRECTORY)
  add_custom_command(OUTPUT ${packageFiles}/${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${targetDir}
    COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${source} > ${packageFiles}/${target}
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${source}
    VERBATIM)
  list(APPEND compressed ${packageFiles}/${target})
endforeach()
add_custom_target(tallowin_package_files ALL DEPENDS ${compressed})
install(FILES ${packageFiles}/tallowin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packageFiles}/ja/tallowin.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1)
install(FILES ${packageFiles}/changelog.gz ${CMAKE_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/tallowin)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tallowin)
set(CPACK_PACKAGE_VENDOR "Tallowin developers")
set(CPACK_PACKAGE_CONTACT "Tallowin developers <dev@tallowin.example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "two-pane FTP client with a Japanese interface")
# Debian's control file has one description; the Japanese one follows the English one in it
# (the translated descriptions of the archive come from elsewhere).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Tallowin shows the local folder on the left and the server's folder on
the right. Files and whole folder trees go up and down with a progress box,
folders and files are made and deleted on either side, and remote files are
renamed, moved and given new permissions.

It speaks explicit FTP over TLS, reads Unix, Windows and RFC 3659 listings,
keeps modification times, takes a character set per server (UTF-8,
Shift_JIS, EUC-JP) and resumes a broken transfer where it stopped. Up to ten
connection profiles are kept, their passwords in the desktop's keyring. It
opens ftp:// and ftps:// links from browsers and file managers.

日本語で使える 2 ペインの FTP クライアント。
左にローカル、右にサーバーのフォルダーを表示し、ファイルやフォルダーごとの
アップロードとダウンロード、フォルダーとファイルの作成・削除、名前と属性の
変更ができます。明示的な FTP over TLS、Unix・Windows・RFC 3659 の一覧形式、
サーバーごとの文字コード (UTF-8、Shift_JIS、EUC-JP)、中断した転送の再開に
対応し、ftp:// や ftps:// のリンクからログイン画面を開けます。]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tallowin.example.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its display plugins (xcb, wayland) at run time, so no library link names them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# Japanese glyphs, Qt's own Japanese buttons, and the keyring QtKeychain loads at run time.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk, qt6-translations-l10n, libsecret-1-0")
# Dial-up connections are brought up through nmcli.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "network-manager, gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)

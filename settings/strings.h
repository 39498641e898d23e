#pragma once

#include <QString>

// The texts of the settings layer that code shows or compares: captions, messages, tab titles
// and the entry list's message lines. The labels of the controls are in the dialog templates.
namespace SettingsText {
inline const QString Ok = QStringLiteral("OK");
inline const QString Cancel = QStringLiteral("キャンセル");

inline const QString LoginCaption = QStringLiteral("Tallowin ログイン");
inline const QString EnterProfileName = QStringLiteral("コンボボックスに設定名を入力してください\n");
inline const QString NoFreeProfileSlot =
    QStringLiteral("保存できません。\n設定保存数の上限(10)に達している可能性があります。");

inline const QString OptionsCaption = QStringLiteral("Tallowin 設定");
inline const QString Page1Tab = QStringLiteral("操作");
inline const QString Page2Tab = QStringLiteral("DialUp");
inline const QString Page3Tab = QStringLiteral("FTP拡張");
inline const QString NoDialUpEntries = QStringLiteral("登録されていません");
inline const QString DialUpListFailed = QStringLiteral("一覧表示に失敗しました");
inline const QString DialUpNameTooLong =
    QStringLiteral("接続名が長すぎるため保存できません。\n99 文字以内の接続を選んでください。");
}  // namespace SettingsText

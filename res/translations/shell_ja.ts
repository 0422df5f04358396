<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en">
<context>
    <name>CMainFrame</name>
    <message>
        <source>&amp;File</source>
        <translation>ファイル(&amp;F)</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>終了(&amp;X)</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>編集(&amp;E)</translation>
    </message>
    <message>
        <source>Select &amp;All	Ctrl+A</source>
        <translation>全て選択(&amp;A)	Ctrl+A</translation>
    </message>
    <message>
        <source>&amp;Manual Registration</source>
        <translation>手動登録(&amp;M) ...</translation>
    </message>
    <message>
        <source>Auto &amp;Registration</source>
        <translation>自動登録(&amp;R)</translation>
    </message>
    <message>
        <source>Create &amp;Group</source>
        <translation>グループを作成(&amp;G) ...</translation>
    </message>
    <message>
        <source>Add &amp;to Group</source>
        <translation>グループへ追加(&amp;T) ...</translation>
    </message>
    <message>
        <source>Edit &amp;Settings</source>
        <translation>設定変更(&amp;S)</translation>
    </message>
    <message>
        <source>Change &amp;Name	F2</source>
        <translation>名前の変更(&amp;N)	F2</translation>
    </message>
    <message>
        <source>&amp;Delete	Delete</source>
        <translation>削除(&amp;D)	Delete</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>表示(&amp;V)</translation>
    </message>
    <message>
        <source>&amp;Tool Bar</source>
        <translation>ツールバー(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Status Bar</source>
        <translation>ステータスバー(&amp;S)</translation>
    </message>
    <message>
        <source>Task Tra&amp;y	Ctrl+V</source>
        <translation>トレイアイコン化(&amp;Y)	Ctrl+V</translation>
    </message>
    <message>
        <source>&amp;Refresh	F5</source>
        <translation>最新の情報に更新(&amp;R)	F5</translation>
    </message>
    <message>
        <source>&amp;Operation</source>
        <translation>操作(&amp;O)</translation>
    </message>
    <message>
        <source>Re&amp;boot</source>
        <translation>リブート(&amp;B)</translation>
    </message>
    <message>
        <source>&amp;Shutdown</source>
        <translation>シャットダウン(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Power OFF</source>
        <translation>パワーＯＦＦ(&amp;P)</translation>
    </message>
    <message>
        <source>Forcible Reboot</source>
        <translation>強制リブート</translation>
    </message>
    <message>
        <source>Forcible Shutdown</source>
        <translation>強制シャットダウン</translation>
    </message>
    <message>
        <source>Forced Power OFF</source>
        <translation>強制パワーＯＦＦ</translation>
    </message>
    <message>
        <source>&amp;Wake up</source>
        <translation>起動(&amp;W)</translation>
    </message>
    <message>
        <source>&amp;Reserve</source>
        <translation>予約(&amp;R) ...</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>設定(&amp;S)</translation>
    </message>
    <message>
        <source>&amp;Password</source>
        <translation>パスワード設定(&amp;P) ...</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>オプション(&amp;O) ...</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>ヘルプ(&amp;H)</translation>
    </message>
    <message>
        <source>&amp;Contents</source>
        <translation>目次(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>バージョン情報(&amp;A) ...</translation>
    </message>
    <message>
        <source>Tool Bar</source>
        <translation>ツールバー</translation>
    </message>
    <message>
        <source>The roster could not be saved to %1.</source>
        <translation>データを %1 に保存できませんでした。</translation>
    </message>
</context>
<context>
    <name>CPasswordDlg</name>
    <message>
        <source>Enter password</source>
        <translation>パスワードの確認</translation>
    </message>
    <message>
        <source>Password</source>
        <translation>パスワード入力</translation>
    </message>
    <message>
        <source>O K</source>
        <translation>O K</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>終了</translation>
    </message>
</context>
<context>
    <name>CPasswordSetDlg</name>
    <message>
        <source>Passwords settings</source>
        <translation>パスワードの設定</translation>
    </message>
    <message>
        <source>Old password</source>
        <translation>古いパスワード</translation>
    </message>
    <message>
        <source>New password</source>
        <translation>新しいパスワード</translation>
    </message>
    <message>
        <source>New password confirmation</source>
        <translation>新しいパスワードの確認</translation>
    </message>
    <message>
        <source>O K</source>
        <translation>O K</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>ｷｬﾝｾﾙ</translation>
    </message>
</context>
<context>
    <name>CServerApp</name>
    <message>
        <source>Cannot open the data file %1.</source>
        <translation>データファイル %1 を開けません。</translation>
    </message>
</context>
</TS>

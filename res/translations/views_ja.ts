<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP" sourcelanguage="en_US">
<context>
    <name>CGpTree</name>
    <message>
        <source>Create Group</source>
        <translation>グループを作成 ...</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation>リブート</translation>
    </message>
    <message>
        <source>Shutdown</source>
        <translation>シャットダウン</translation>
    </message>
    <message>
        <source>Powoer OFF</source>
        <translation>パワーＯＦＦ</translation>
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
        <source>Power OFF</source>
        <translation>強制パワーＯＦＦ</translation>
    </message>
    <message>
        <source>Wake up</source>
        <translation>起動</translation>
    </message>
    <message>
        <source>Reserve</source>
        <translation>予約 ...</translation>
    </message>
</context>
<context>
    <name>CKwList</name>
    <message>
        <source>Manual Registration</source>
        <translation>手動登録 ...</translation>
    </message>
    <message>
        <source>Auto Registration</source>
        <translation>自動登録</translation>
    </message>
    <message>
        <source>Edit Settings</source>
        <translation>設定変更</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>削除</translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation>リブート</translation>
    </message>
    <message>
        <source>Shutdown</source>
        <translation>シャットダウン</translation>
    </message>
    <message>
        <source>Power OFF</source>
        <comment>plain</comment>
        <translation>パワーＯＦＦ</translation>
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
        <source>Power OFF</source>
        <comment>forcible</comment>
        <translation>強制パワーＯＦＦ</translation>
    </message>
    <message>
        <source>Wake up</source>
        <translation>起動</translation>
    </message>
    <message>
        <source>Reserve</source>
        <translation>予約 ...</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>最新の情報に更新</translation>
    </message>
    <message>
        <source>No PCs are registered yet.
Add them with Edit &gt; Auto Registration (search the network) or Edit &gt; Manual Registration.</source>
        <translation>PCはまだ登録されていません。
［編集］→［自動登録］（ネットワークを検索）または［編集］→［手動登録］で追加してください。</translation>
    </message>
</context>
<context>
    <name>CReserveDlg</name>
    <message>
        <source>Reservation Settings</source>
        <translation>予約設定</translation>
    </message>
    <message>
        <source>Set Reservation</source>
        <translation>予約指定</translation>
    </message>
    <message>
        <source>Release Reservation</source>
        <translation>予約解除</translation>
    </message>
    <message>
        <source>Reservation Date</source>
        <translation>実行日</translation>
    </message>
    <message>
        <source>Monthly</source>
        <translation>毎月</translation>
    </message>
    <message>
        <source>Weekly</source>
        <translation>毎週</translation>
    </message>
    <message>
        <source>Daily</source>
        <translation>毎日</translation>
    </message>
    <message>
        <source>1st</source>
        <translation>1日</translation>
    </message>
    <message>
        <source>2nd</source>
        <translation>2日</translation>
    </message>
    <message>
        <source>3rd</source>
        <translation>3日</translation>
    </message>
    <message>
        <source>4th</source>
        <translation>4日</translation>
    </message>
    <message>
        <source>5th</source>
        <translation>5日</translation>
    </message>
    <message>
        <source>6th</source>
        <translation>6日</translation>
    </message>
    <message>
        <source>7th</source>
        <translation>7日</translation>
    </message>
    <message>
        <source>8th</source>
        <translation>8日</translation>
    </message>
    <message>
        <source>9th</source>
        <translation>9日</translation>
    </message>
    <message>
        <source>10th</source>
        <translation>10日</translation>
    </message>
    <message>
        <source>11th</source>
        <translation>11日</translation>
    </message>
    <message>
        <source>12th</source>
        <translation>12日</translation>
    </message>
    <message>
        <source>13th</source>
        <translation>13日</translation>
    </message>
    <message>
        <source>14th</source>
        <translation>14日</translation>
    </message>
    <message>
        <source>15th</source>
        <translation>15日</translation>
    </message>
    <message>
        <source>16th</source>
        <translation>16日</translation>
    </message>
    <message>
        <source>17th</source>
        <translation>17日</translation>
    </message>
    <message>
        <source>18th</source>
        <translation>18日</translation>
    </message>
    <message>
        <source>19th</source>
        <translation>19日</translation>
    </message>
    <message>
        <source>20th</source>
        <translation>20日</translation>
    </message>
    <message>
        <source>21st</source>
        <translation>21日</translation>
    </message>
    <message>
        <source>22nd</source>
        <translation>22日</translation>
    </message>
    <message>
        <source>23rd</source>
        <translation>23日</translation>
    </message>
    <message>
        <source>24th</source>
        <translation>24日</translation>
    </message>
    <message>
        <source>25th</source>
        <translation>25日</translation>
    </message>
    <message>
        <source>26th</source>
        <translation>26日</translation>
    </message>
    <message>
        <source>27th</source>
        <translation>27日</translation>
    </message>
    <message>
        <source>28th</source>
        <translation>28日</translation>
    </message>
    <message>
        <source>29th</source>
        <translation>29日</translation>
    </message>
    <message>
        <source>30th</source>
        <translation>30日</translation>
    </message>
    <message>
        <source>31st</source>
        <translation>31日</translation>
    </message>
    <message>
        <source>Sun</source>
        <translation>日</translation>
    </message>
    <message>
        <source>Mon</source>
        <translation>月</translation>
    </message>
    <message>
        <source>Tue</source>
        <translation>火</translation>
    </message>
    <message>
        <source>Wed</source>
        <translation>水</translation>
    </message>
    <message>
        <source>Thu</source>
        <translation>木</translation>
    </message>
    <message>
        <source>Fri</source>
        <translation>金</translation>
    </message>
    <message>
        <source>Sat</source>
        <translation>土</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>時間</translation>
    </message>
    <message>
        <source>Type</source>
        <translation>タイプ</translation>
    </message>
    <message>
        <source>Reboot</source>
        <translation>リブート</translation>
    </message>
    <message>
        <source>Shutdown</source>
        <translation>シャットダウン</translation>
    </message>
    <message>
        <source>Forcible</source>
        <translation>強制</translation>
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
    <name>vtview</name>
    <message>
        <source>Reboot</source>
        <translation>リブート</translation>
    </message>
    <message>
        <source>Forcibly reboot</source>
        <translation>強制リブート</translation>
    </message>
    <message>
        <source>Shut down</source>
        <translation>シャットダウン</translation>
    </message>
    <message>
        <source>Forcibly shut down</source>
        <translation>強制シャットダウン</translation>
    </message>
    <message>
        <source>Power off</source>
        <translation>パワーＯＦＦ</translation>
    </message>
    <message>
        <source>Forcibly power off</source>
        <translation>強制パワーＯＦＦ</translation>
    </message>
    <message>
        <source>“%1” in “%2”</source>
        <translation>「%2」の「%1」</translation>
    </message>
    <message>
        <source>“%1”</source>
        <translation>「%1」</translation>
    </message>
    <message>
        <source>%1 PCs in “%2”</source>
        <translation>「%2」の%1台のPC</translation>
    </message>
    <message>
        <source>all %1 PCs</source>
        <translation>全%1台のPC</translation>
    </message>
    <message>
        <source>%1 selected PCs</source>
        <translation>選択した%1台のPC</translation>
    </message>
    <message>
        <source>%1 %2?</source>
        <extracomment>%1 the operation, %2 whom it reaches</extracomment>
        <translation>%2を%1しますか？</translation>
    </message>
    <message>
        <source>Don&apos;t ask again</source>
        <translation>今後は確認しない</translation>
    </message>
</context>
</TS>

<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>Telvane</name>
    <message>
        <source>PC Settings</source>
        <translation>PC设置</translation>
    </message>
    <message>
        <source>Connect Status:</source>
        <translation>连接状态：</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>未连接</translation>
    </message>
    <message>
        <source>Connect</source>
        <translation>已连接</translation>
    </message>
    <message>
        <source>Channel Choose</source>
        <translation>通道选择</translation>
    </message>
    <message>
        <source>Audio</source>
        <translation>音频</translation>
    </message>
    <message>
        <source>PWMControl</source>
        <translation>PWM控制</translation>
    </message>
    <message>
        <source>PWMIndex:</source>
        <translation>PWM序号：</translation>
    </message>
    <message>
        <source>Output:</source>
        <translation>输出值：</translation>
    </message>
    <message>
        <source>Control TX</source>
        <translation>控制发送端</translation>
    </message>
    <message>
        <source>Control RX</source>
        <translation>控制接收端</translation>
    </message>
    <message>
        <source>TTLControl</source>
        <translation>TTL控制</translation>
    </message>
    <message>
        <source>TTLIndex:</source>
        <translation>TTL序号：</translation>
    </message>
    <message>
        <source>Baudrate:</source>
        <translation>波特率：</translation>
    </message>
    <message>
        <source>Upgrade</source>
        <translation>升级</translation>
    </message>
    <message>
        <source>File Path:</source>
        <translation>文件路径：</translation>
    </message>
    <message>
        <source>Choose</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>Status:</source>
        <translation>状态：</translation>
    </message>
    <message>
        <source>Unknow</source>
        <translation>未知</translation>
    </message>
    <message>
        <source>Upgrade TX</source>
        <translation>升级发送端</translation>
    </message>
    <message>
        <source>Upgrade RX</source>
        <translation>升级接收端</translation>
    </message>
    <message>
        <source>Upgrade Preparing......</source>
        <translation>升级准备中……</translation>
    </message>
    <message>
        <source>Upgrade Uploading......</source>
        <translation>升级文件上传中……</translation>
    </message>
    <message>
        <source>Upgrading......</source>
        <translation>升级中……</translation>
    </message>
    <message>
        <source>Upgrade Success</source>
        <translation>升级成功</translation>
    </message>
    <message>
        <source>Upgrade Failed</source>
        <translation>升级失败</translation>
    </message>
    <message>
        <source>Please Choose Upgrade File</source>
        <translation>请选择升级文件</translation>
    </message>
    <message>
        <source>Receiver HDMI Output Settings</source>
        <translation>接收端HDMI输出设置</translation>
    </message>
    <message>
        <source>Video</source>
        <translation>视频</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>输出</translation>
    </message>
    <message>
        <source>Resolution:</source>
        <translation>分辨率：</translation>
    </message>
    <message>
        <source>CH%1: stream ended</source>
        <translation>CH%1：视频流已结束</translation>
    </message>
    <message>
        <source>CH%1: no answer</source>
        <translation>CH%1：无应答</translation>
    </message>
    <message>
        <source>CH%1: connected</source>
        <translation>CH%1：已连接</translation>
    </message>
    <message>
        <source>Upgrade of %1 done</source>
        <translation>%1升级完成</translation>
    </message>
    <message>
        <source>Upgrade of %1 failed</source>
        <translation>%1升级失败</translation>
    </message>
    <message>
        <source>Upgrade running: wait for it to finish</source>
        <translation>正在升级：请等待完成</translation>
    </message>
    <message>
        <source>Receiver refused the layout</source>
        <translation>接收端拒绝了画面布局</translation>
    </message>
    <message>
        <source>Receiver refused the frame rate</source>
        <translation>接收端拒绝了帧率</translation>
    </message>
    <message>
        <source>Receiver refused the sound</source>
        <translation>接收端拒绝了音频设置</translation>
    </message>
    <message>
        <source>Receiver refused the resolution</source>
        <translation>接收端拒绝了分辨率</translation>
    </message>
    <message>
        <source>Receiver: no answer</source>
        <translation>接收端：无应答</translation>
    </message>
    <message>
        <source>Receiver shows %1</source>
        <translation>接收端显示 %1</translation>
    </message>
    <message>
        <source>Receiver shows %1 at %2 fps</source>
        <translation>接收端显示 %1，%2 fps</translation>
    </message>
    <message>
        <source>Receiver plays the sound of CH%1</source>
        <translation>接收端播放 CH%1 的声音</translation>
    </message>
    <message>
        <source>Receiver plays no sound</source>
        <translation>接收端不播放声音</translation>
    </message>
    <message>
        <source>Receiver outputs %1</source>
        <translation>接收端输出 %1</translation>
    </message>
    <message>
        <source>%1; encoders not set: %2</source>
        <translation>%1；未能设置编码器：%2</translation>
    </message>
    <message>
        <source>PWM %1 → %2: done</source>
        <translation>PWM %1 → %2：完成</translation>
    </message>
    <message>
        <source>PWM %1 → %2: %3</source>
        <translation>PWM %1 → %2：%3</translation>
    </message>
    <message>
        <source>PWM %1 stopped</source>
        <translation>PWM %1 已停止</translation>
    </message>
    <message>
        <source>PWM %1: %2</source>
        <translation>PWM %1：%2</translation>
    </message>
    <message>
        <source>TTL %1 on %2 set to %3 baud</source>
        <translation>%2 的 TTL %1 已设为 %3 波特</translation>
    </message>
    <message>
        <source>TTL %1 on %2: %3</source>
        <translation>%2 的 TTL %1：%3</translation>
    </message>
    <message>
        <source>Upgrade of %1 refused</source>
        <translation>%1拒绝升级</translation>
    </message>
    <message>
        <source>Upgrade of %1 refused: no such file</source>
        <translation>%1升级被拒绝：文件不存在</translation>
    </message>
    <message>
        <source>done</source>
        <translation>完成</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>被拒绝</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>无应答</translation>
    </message>
    <message>
        <source>CH%1: waiting for the picture</source>
        <translation>CH%1：等待画面</translation>
    </message>
    <message>
        <source>CH%1: %2 %3×%4, %5 fps, delay %6, first picture after %7 ms, %8 lost, %9 dropped</source>
        <translation>CH%1：%2 %3×%4，%5 fps，延迟 %6，首帧用时 %7 ms，丢失 %8，丢弃 %9</translation>
    </message>
    <message>
        <source>Save Snapshot</source>
        <translation>保存快照</translation>
    </message>
    <message>
        <source>Start Recording</source>
        <translation>开始录像</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <translation>停止录像</translation>
    </message>
    <message>
        <source>Full Screen</source>
        <translation>全屏</translation>
    </message>
    <message>
        <source>Show %1&apos;s picture (%2)</source>
        <translation>显示 %1 的画面（%2）</translation>
    </message>
    <message>
        <source>Show no picture (%1)</source>
        <translation>不显示画面（%1）</translation>
    </message>
    <message>
        <source>CH%1: no picture to save yet</source>
        <translation>CH%1：尚无可保存的画面</translation>
    </message>
    <message>
        <source>Snapshot of CH%1 saved to %2</source>
        <translation>CH%1 的快照已保存到 %2</translation>
    </message>
    <message>
        <source>Cannot save the snapshot: %1</source>
        <translation>无法保存快照：%1</translation>
    </message>
    <message>
        <source>Cannot record CH%1: %2</source>
        <translation>无法录制 CH%1：%2</translation>
    </message>
    <message>
        <source>Recording CH%1 to %2</source>
        <translation>正在录制 CH%1 到 %2</translation>
    </message>
    <message>
        <source>Recording of CH%1 ended before its first picture: nothing was kept</source>
        <translation>CH%1 的录像在第一个画面之前结束：未保存任何内容</translation>
    </message>
    <message>
        <source>Recording of CH%1 stopped: %2. %3 keeps what was written</source>
        <translation>CH%1 的录像已停止：%2。%3 保留了已写入的内容</translation>
    </message>
    <message>
        <source>the picture changed its size or codec</source>
        <translation>画面的尺寸或编码已改变</translation>
    </message>
    <message>
        <source>the stream is lost</source>
        <translation>视频流已丢失</translation>
    </message>
    <message>
        <source>another channel was chosen</source>
        <translation>已选择其他通道</translation>
    </message>
    <message>
        <source>the window was closed</source>
        <translation>窗口已关闭</translation>
    </message>
    <message>
        <source>Recording of CH%1 saved to %2 (%3, %4 MB)</source>
        <translation>CH%1 的录像已保存到 %2（%3，%4 MB）</translation>
    </message>
    <message>
        <source>Recording of CH%1 ended, %2: saved to %3 (%4, %5 MB)</source>
        <translation>CH%1 的录像已结束，%2：已保存到 %3（%4，%5 MB）</translation>
    </message>
    <message>
        <source>● REC CH%1 %2, %3 MB</source>
        <translation>● 录像 CH%1 %2，%3 MB</translation>
    </message>
</context>
<context>
    <name>TelvaneClass</name>
    <message>
        <source>Telvane</source>
        <translation>Telvane 播放器</translation>
    </message>
    <message>
        <source>Receiver: not connected</source>
        <translation>接收端：未连接</translation>
    </message>
    <message>
        <source>Receiver: its settings are not read yet</source>
        <translation>接收端：尚未读取其设置</translation>
    </message>
</context>
</TS>

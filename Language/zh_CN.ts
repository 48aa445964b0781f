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
        <source>Receiver: not connected</source>
        <translation>接收端：未连接</translation>
    </message>
    <message>
        <source>Receiver: its settings are not read yet</source>
        <translation>接收端：尚未读取其设置</translation>
    </message>
    <message>
        <source>Live picture</source>
        <translation>实时画面</translation>
    </message>
    <message>
        <source>The chosen channel&apos;s live picture. Double-click it for full screen; double-click again or press Esc to go back.</source>
        <translation>所选通道的实时画面。双击进入全屏；再次双击或按 Esc 返回。</translation>
    </message>
    <message>
        <source>Status bar</source>
        <translation>状态栏</translation>
    </message>
    <message>
        <source>What the last action did, and the current stream</source>
        <translation>上一次操作的结果和当前视频流</translation>
    </message>
    <message>
        <source>The current stream</source>
        <translation>当前视频流</translation>
    </message>
    <message>
        <source>Whether the receiver answers</source>
        <translation>接收端是否应答</translation>
    </message>
    <message>
        <source>The receiver shows CH%1 alone on its HDMI output</source>
        <translation>接收端在其HDMI输出上单独显示 CH%1</translation>
    </message>
    <message>
        <source>Frame rate of a channel shown alone</source>
        <translation>单独显示一个通道时的帧率</translation>
    </message>
    <message>
        <source>CH%1 and CH%2</source>
        <translation>CH%1 和 CH%2</translation>
    </message>
    <message>
        <source>The receiver shows two channels side by side</source>
        <translation>接收端并排显示两个通道</translation>
    </message>
    <message>
        <source>CH%1 to CH%2</source>
        <translation>CH%1 至 CH%2</translation>
    </message>
    <message>
        <source>The receiver shows all four channels, one in each quarter</source>
        <translation>接收端显示全部四个通道，各占四分之一画面</translation>
    </message>
    <message>
        <source>No sound</source>
        <translation>无声音</translation>
    </message>
    <message>
        <source>Resolution of the receiver&apos;s HDMI output</source>
        <translation>接收端HDMI输出的分辨率</translation>
    </message>
    <message>
        <source>Whether the chosen transmitter streams</source>
        <translation>所选发送端是否在传输视频流</translation>
    </message>
    <message>
        <source>Show the live picture of CH%1</source>
        <translation>显示 CH%1 的实时画面</translation>
    </message>
    <message>
        <source>No channel</source>
        <translation>不选通道</translation>
    </message>
    <message>
        <source>Stop the live picture</source>
        <translation>停止实时画面</translation>
    </message>
    <message>
        <source>PC sound</source>
        <translation>PC声音</translation>
    </message>
    <message>
        <source>Play the chosen channel&apos;s sound on this PC</source>
        <translation>在本PC上播放所选通道的声音</translation>
    </message>
    <message>
        <source>The PWM output that the actuator commands drive</source>
        <translation>执行器命令驱动的PWM输出</translation>
    </message>
    <message>
        <source>Decrease</source>
        <translation>减小</translation>
    </message>
    <message>
        <source>Move the actuator towards lower values while held</source>
        <translation>按住时执行器向较小值移动</translation>
    </message>
    <message>
        <source>Increase</source>
        <translation>增大</translation>
    </message>
    <message>
        <source>Move the actuator towards higher values while held</source>
        <translation>按住时执行器向较大值移动</translation>
    </message>
    <message>
        <source>Position for Goto, 0 to 100</source>
        <translation>Goto 的目标位置，0 到 100</translation>
    </message>
    <message>
        <source>Move the actuator to the output value</source>
        <translation>将执行器移动到输出值</translation>
    </message>
    <message>
        <source>PWM commands go to the chosen transmitter</source>
        <translation>PWM命令发往所选发送端</translation>
    </message>
    <message>
        <source>PWM commands go to the receiver</source>
        <translation>PWM命令发往接收端</translation>
    </message>
    <message>
        <source>The serial TTL port to set</source>
        <translation>要设置的TTL串口</translation>
    </message>
    <message>
        <source>The baud rate to set</source>
        <translation>要设置的波特率</translation>
    </message>
    <message>
        <source>Set the baud rate on the chosen transmitter</source>
        <translation>在所选发送端上设置波特率</translation>
    </message>
    <message>
        <source>Set the baud rate on the receiver</source>
        <translation>在接收端上设置波特率</translation>
    </message>
    <message>
        <source>The firmware file to upload</source>
        <translation>要上传的固件文件</translation>
    </message>
    <message>
        <source>Choose the firmware file</source>
        <translation>选择固件文件</translation>
    </message>
    <message>
        <source>Progress and result of the firmware upload</source>
        <translation>固件上传的进度和结果</translation>
    </message>
    <message>
        <source>Upload the firmware file to the chosen transmitter</source>
        <translation>将固件文件上传到所选发送端</translation>
    </message>
    <message>
        <source>Upload the firmware file to the receiver</source>
        <translation>将固件文件上传到接收端</translation>
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

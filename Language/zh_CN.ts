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
</context>
<context>
    <name>TelvaneClass</name>
    <message>
        <source>Telvane</source>
        <translation>Telvane 播放器</translation>
    </message>
</context>
</TS>

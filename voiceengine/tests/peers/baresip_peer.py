#!/usr/bin/env python3
"""baresip as the far end of a call with the voice engine's test.

usage: baresip_peer.py FOLDER CODEC ENGINE_RTP_PORT SIP_PORT RTP_FROM

Writes baresip's configuration into FOLDER from the templates beside this
script, makes its source file (a 600 Hz tone, 48 kHz stereo), starts it,
calls it from here (INVITE with an offer for CODEC towards the engine's RTP
port, ACK), and writes baresip's RTP port into FOLDER/remote_port. When the
file FOLDER/stop appears (or after 40 s) it hangs up (BYE), ends baresip by
its pid and writes FOLDER/done. The test runs under Wine, which starts host
programs but gives no handle on them: hence the files. Every wait is bounded.
"""
import math, os, random, re, signal, socket, struct, subprocess, sys, time, wave

folder, codec, engine_port, sip_port, rtp_from = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
here = os.path.dirname(os.path.abspath(__file__))
log = open(os.path.join(folder, "peer.log"), "w", buffering=1)

def note(*args):
    print(*args, file=log)

CODECS = {  # baresip's name, payload type, rtpmap
    "pcmu": ("pcmu", 0, "PCMU/8000"),
    "pcma": ("pcma", 8, "PCMA/8000"),
    "opus": ("opus/48000/2", 111, "opus/48000/2"),
}
name, pt, rtpmap = CODECS[codec]

def fill(template, target):
    text = open(os.path.join(here, "baresip", template)).read()
    for key, value in (("@FOLDER@", folder), ("@SIP_PORT@", str(sip_port)), ("@RTP_FROM@", str(rtp_from)),
                       ("@RTP_TO@", str(rtp_from + 9)), ("@CODEC@", name)):
        text = text.replace(key, value)
    open(os.path.join(target, template), "w").write(text)

conf = os.path.join(folder, "conf")
os.makedirs(conf, exist_ok=True)
os.makedirs(os.path.join(folder, "rec"), exist_ok=True)
os.makedirs(os.path.join(folder, "home"), exist_ok=True)
fill("config", conf)
fill("accounts", conf)

# 600 Hz at half scale, 48 kHz stereo, longer than any call.
w = wave.open(os.path.join(folder, "source.wav"), "wb")
w.setnchannels(2); w.setsampwidth(2); w.setframerate(48000)
frames = bytearray()
for i in range(48000 * 20):
    frames += struct.pack("<h", int(16383 * math.sin(2 * math.pi * 600 * i / 48000))) * 2
w.writeframes(bytes(frames)); w.close()

env = dict(os.environ, HOME=os.path.join(folder, "home"))
env.pop("PULSE_SERVER", None)
bs = subprocess.Popen(["baresip", "-f", conf, "-t", "60"], stdin=subprocess.DEVNULL,
                      stdout=open(os.path.join(folder, "baresip.log"), "w"), stderr=subprocess.STDOUT, env=env)
note("baresip pid", bs.pid)

sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
sock.bind(("127.0.0.1", 0))
sock.settimeout(0.2)
local = sock.getsockname()[1]
call_id = "%x@127.0.0.1" % random.getrandbits(64)
tag = "%x" % random.getrandbits(32)
target = "sip:bob@127.0.0.1:%d" % sip_port

def request(method, cseq, to_tag="", body="", route_uri=target, branch=None):
    headers = [
        "%s %s SIP/2.0" % (method, route_uri),
        "Via: SIP/2.0/UDP 127.0.0.1:%d;branch=z9hG4bK%x;rport" % (local, branch or random.getrandbits(40)),
        "Max-Forwards: 70",
        "From: <sip:enginetest@127.0.0.1:%d>;tag=%s" % (local, tag),
        "To: <%s>%s" % (target, ";tag=" + to_tag if to_tag else ""),
        "Call-ID: " + call_id,
        "CSeq: %d %s" % (cseq, method),
        "Contact: <sip:enginetest@127.0.0.1:%d>" % local,
    ]
    if body:
        headers.append("Content-Type: application/sdp")
    headers.append("Content-Length: %d" % len(body))
    sock.sendto(("\r\n".join(headers) + "\r\n\r\n" + body).encode(), ("127.0.0.1", sip_port))

def responses(deadline):
    while time.time() < deadline:
        try:
            data = sock.recv(65535).decode(errors="replace")
        except socket.timeout:
            continue
        yield data

def stop_baresip():
    if bs.poll() is None:
        bs.send_signal(signal.SIGTERM)
        try:
            bs.wait(5)
        except subprocess.TimeoutExpired:
            bs.kill()
            bs.wait(5)
    note("baresip exit", bs.returncode)

try:
    offer = ("v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
             "m=audio %d RTP/AVP %d 101\r\na=rtpmap:%d %s\r\na=rtpmap:101 telephone-event/8000\r\n"
             "a=fmtp:101 0-15\r\na=ptime:20\r\na=sendrecv\r\n") % (engine_port, pt, pt, rtpmap)
    # Ready when its log says so; an INVITE before would only be retransmitted.
    ready_by = time.time() + 10
    while time.time() < ready_by and "baresip is ready" not in open(os.path.join(folder, "baresip.log")).read():
        time.sleep(0.05)
    answer = None
    to_tag = ""
    invite_branch = random.getrandbits(40)
    contact = target
    deadline = time.time() + 10
    next_try = 0
    while answer is None and time.time() < deadline:
        if time.time() >= next_try:  # retransmissions of the one transaction
            request("INVITE", 1, body=offer, branch=invite_branch)
            next_try = time.time() + 0.5
        for data in responses(min(deadline, next_try)):
            status = data.split("\r\n", 1)[0]
            note("<<", status)
            if " 200 " in status:
                answer = data
                m = re.search(r"\r\nTo:[^\r]*;tag=([^;\r\s>]+)", data, re.I)
                to_tag = m.group(1) if m else ""
                m = re.search(r"\r\n(?:Contact|m):\s*<([^>]+)>", data, re.I)
                contact = m.group(1) if m else target
                break
    if answer is None:
        note("no answer from baresip")
        sys.exit(1)
    request("ACK", 1, to_tag, route_uri=contact)
    port = int(re.search(r"\nm=audio (\d+)", answer).group(1))
    note("baresip rtp port", port)
    tmp = os.path.join(folder, "remote_port.tmp")
    open(tmp, "w").write(str(port))
    os.replace(tmp, os.path.join(folder, "remote_port"))

    end = time.time() + 40
    while time.time() < end and not os.path.exists(os.path.join(folder, "stop")) and bs.poll() is None:
        time.sleep(0.05)
    request("BYE", 2, to_tag, route_uri=contact)
    for data in responses(time.time() + 2):
        note("<<", data.split("\r\n", 1)[0])
        if data.startswith("SIP/2.0 200"):
            break
    time.sleep(0.3)  # let the recorder close its files
finally:
    stop_baresip()
    os.remove(os.path.join(folder, "source.wav"))
    open(os.path.join(folder, "done"), "w").write("done")

#!/usr/bin/env python3
"""A stand-in Stable Diffusion server for the tests: the web UI's API routes and
ComfyUI's, on 127.0.0.1. The result is the negative of the picture sent (by
ImageMagick), after --steps progress steps of --step-ms each. A prompt "fail:KIND" (the web UI's
prompt, or a ComfyUI node's "text" input) makes that run fail in one way, so
that one server serves every case; a request with an Authorization header
must carry --auth. Every request is appended to --record as a JSON line.
Writes its port into --port-file once it listens."""
import argparse, base64, email, json, os, struct, subprocess, threading, time, uuid, zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


def png_encode(width, height, rgb):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    rows = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def negative(png):
    return subprocess.run(["convert", "png:-", "-negate", "PNG24:-"], input=png,
                          capture_output=True, check=True).stdout


class State:
    lock = threading.Lock()
    progress = 0.0
    job = ""  # what the web UI names while it works
    done_seen = threading.Event()  # a progress answer said 1.0
    uploads = {}
    prompts = {}  # id -> history entry, empty until done


def run_steps(args):
    State.done_seen.clear()
    with State.lock:
        State.progress = 0.0
    for step in range(1, args.steps + 1):
        time.sleep(args.step_ms / 1000)
        with State.lock:
            State.progress = step / args.steps


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *a):
        pass

    def record(self, body):
        entry = {"method": self.command, "path": self.path,
                 "authorization": self.headers.get("Authorization", "")}
        try:
            entry["json"] = json.loads(body)
        except ValueError:
            entry["bytes"] = len(body)
        with State.lock, open(self.server.args.record, "a") as f:
            f.write(json.dumps(entry) + "\n")

    def send(self, code, payload, ctype="application/json"):
        data = payload if isinstance(payload, bytes) else json.dumps(payload).encode()
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        args = self.server.args
        self.record(body)
        given = self.headers.get("Authorization")
        if given and given != "Basic " + base64.b64encode(args.auth.encode()).decode():
            return self.send(401, {"detail": "Not authenticated"})
        path = self.path.split("?")[0]
        route = getattr(self, "route_" + path.strip("/").split("/")[-1 if path.startswith("/sdapi") else 0]
                        .replace("-", "_"), None)
        if route is None:
            return self.send(404, {"detail": "Not Found"})
        route(body)

    do_GET = do_POST

    # --- web UI
    def route_sd_models(self, body):
        self.send(200, [{"title": "fake-v1.safetensors [0123456789]", "model_name": "fake-v1"}])

    def route_progress(self, body):
        with State.lock:
            p = State.progress
        if p == 1.0:
            State.done_seen.set()
        image = base64.b64encode(png_encode(2, 2, bytes([int(p * 255)] * 12))).decode()
        self.send(200, {"progress": p, "eta_relative": 1 - p, "state": {"job": State.job},
                        "current_image": image if 0 < p < 1 else None})

    route_interrupt = lambda self, body: self.send(200, {})

    def route_img2img(self, body):
        request = json.loads(body)
        fail = request["prompt"][5:] if request["prompt"].startswith("fail:") else ""
        if fail == "silent":
            return time.sleep(30)
        State.job = "img2img"
        run_steps(self.server.args)
        State.done_seen.wait(5)  # so that every client sees the end, however loaded
        if fail == "huge":  # no length: the client must stop it as it streams
            State.job = ""
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            try:
                for _ in range(64):
                    self.wfile.write(b"A" * 65536)
            except OSError:
                pass
            self.close_connection = True
            return
        b64 = lambda data: base64.b64encode(data).decode()
        answer = {
            "http500": (500, {"error": "OutOfMemoryError", "detail": "CUDA out of memory"}),
            "badjson": (200, b"<html>Internal error</html>"),
            "badbase64": (200, {"images": ["@@not base64@@"]}),
            "badimage": (200, {"images": [b64(b"not a picture at all")]}),
            "wrongsize": (200, {"images": [b64(png_encode(100, 100, bytes(30000)))]}),
        }.get(fail, (200, {"images": [b64(negative(base64.b64decode(request["init_images"][0])))],
                           "parameters": {}, "info": "{}"}))
        State.job = ""
        self.send(*answer)

    # --- ComfyUI
    def route_object_info(self, body):
        self.send(200, {"CheckpointLoaderSimple": {"input": {"required": {
            "ckpt_name": [["fake-v1.safetensors"]]}}}})

    def route_upload(self, body):
        message = email.message_from_bytes(
            b"Content-Type: " + self.headers["Content-Type"].encode() + b"\r\n\r\n" + body)
        for part in message.get_payload():
            if part.get_param("name", header="content-disposition") == "image":
                name = part.get_filename()
                State.uploads[name] = part.get_payload(decode=True)
                return self.send(200, {"name": name, "subfolder": "", "type": "input"})
        self.send(400, {"error": "no image"})

    def route_prompt(self, body):
        workflow = json.loads(body)["prompt"]
        node = next(n for n in workflow.values() if n["_meta"]["title"] == "quiltor_input")
        texts = [n["inputs"].get("text", "") for n in workflow.values()]
        fail = next((t[5:] for t in texts if t.startswith("fail:")), "")
        prompt_id = str(uuid.uuid4())
        State.prompts[prompt_id] = {}

        def work():
            run_steps(self.server.args)
            if fail == "comfyerror":
                State.prompts[prompt_id] = {"outputs": {}, "status": {"status_str": "error", "messages": [
                    ["execution_error", {"exception_message": "Sampler exploded"}]]}}
                return
            State.uploads["result.png"] = negative(State.uploads[node["inputs"]["image"]])
            State.prompts[prompt_id] = {"outputs": {"9": {"images": [
                {"filename": "result.png", "subfolder": "", "type": "output"}]}},
                "status": {"status_str": "success"}}
        threading.Thread(target=work, daemon=True).start()
        self.send(200, {"prompt_id": prompt_id, "number": 1, "node_errors": {}})

    def route_history(self, body):
        prompt_id = self.path.split("/")[-1]
        self.send(200, {prompt_id: State.prompts[prompt_id]} if State.prompts.get(prompt_id) else {})

    def route_view(self, body):
        self.send(200, State.uploads["result.png"], "image/png")


def main():
    parser = argparse.ArgumentParser()
    for name, default in (("port-file", ""), ("record", ""), ("auth", ""), ("steps", 4), ("step-ms", 30)):
        parser.add_argument("--" + name, default=default, type=type(default))
    args = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    server.args = args
    with open(args.port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()

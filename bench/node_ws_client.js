// The Node `ws` baseline of bench_delta_throughput: one websocket client that receives the
// same delta stream as our client, parses every message with JSON.parse and reads its type.
// Usage: node node_ws_client.js URL FRAMES [TOKEN]
// With a token it talks to a gateway (hello, a new session, then "flood FRAMES"); without one
// it only listens, as to the pre-encoded feeder. Prints one line of JSON:
// {"deltas":N,"seconds":S,"cpuSeconds":C} timed from the first delta to "assistant_complete".
'use strict';

const { WebSocket } = require('ws');

const [url, frames, token] = process.argv.slice(2);
const socket = new WebSocket(url, { perMessageDeflate: false, maxPayload: 64 * 1024 * 1024 });
let requests = 0;
let deltas = 0;
let started = 0n;
let cpuStart = null;

function send(type, fields) {
  socket.send(JSON.stringify({ type, requestId: `node-${++requests}`, ...fields }));
}

socket.on('open', () => {
  if (!token)
    return;
  send('hello', { token, client: { name: 'node-ws-bench', version: '1', platform: 'linux' } });
  send('session_create', { backend: 'codex', cwd: '/node', forceNew: true });
});

socket.on('message', (data) => {
  const message = JSON.parse(data.toString());
  if (message.type === 'assistant_delta') {
    if (deltas++ === 0) {
      started = process.hrtime.bigint();
      cpuStart = process.cpuUsage();
    }
  } else if (message.type === 'session_created') {
    send('session_message', { sessionId: message.sessionId, text: `flood ${frames}`, delivery: 'default' });
  } else if (message.type === 'assistant_complete') {
    const seconds = Number(process.hrtime.bigint() - started) / 1e9;
    const cpu = process.cpuUsage(cpuStart);
    console.log(JSON.stringify({ deltas, seconds, cpuSeconds: (cpu.user + cpu.system) / 1e6 }));
    socket.close(1000);
  }
});

socket.on('error', (error) => {
  console.error(`node ws client: ${error.message}`);
  process.exitCode = 1;
});

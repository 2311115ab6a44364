// The Node `ws` baseline of bench_delta_throughput (usage: node node_ws_client.js URL): parses
// every message with JSON.parse and prints the seconds from the first to "assistant_complete".
'use strict';

const { WebSocket } = require('ws');

const socket = new WebSocket(process.argv[2], { perMessageDeflate: false, maxPayload: 64 * 1024 * 1024 });
let started = null;

socket.on('message', (data) => {
  const message = JSON.parse(data.toString());
  if (started === null) {
    started = process.hrtime.bigint();
  } else if (message.type === 'assistant_complete') {
    console.log(Number(process.hrtime.bigint() - started) / 1e9);
    socket.close(1000);
  }
});

socket.on('error', (error) => {
  console.error(`node ws client: ${error.message}`);
  process.exitCode = 1;
});

// End-to-end check of ostrel-mcp with the official MCP TypeScript SDK client over stdio.
//
//   node e2e.mjs <path to ostrel-mcp> --stub         against a loopback HTTP stub started here
//   node e2e.mjs <path to ostrel-mcp> --unreachable  with nothing listening on the API port
//   node e2e.mjs <path to ostrel-mcp> --port <n>     against a running Ostrel HTTP API on port n
//
// Exit status: 0 passed, 1 failed, 77 skipped (the SDK is not installed: run `./dev setup`).
import assert from 'node:assert/strict';
import http from 'node:http';
import net from 'node:net';

const SKIP = 77;
const TOOL_NAMES = ['ostrel_state', 'ostrel_help', 'ostrel_open', 'ostrel_set_params', 'ostrel_export_svg', 'ostrel_snapshot'];
// PNG signature and the start of an IHDR chunk: binary bytes that must survive base 64.
const PNG = Buffer.from('89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489', 'hex');

let Client;
let StdioClientTransport;
let getDefaultEnvironment;
try {
  ({ Client } = await import('@modelcontextprotocol/sdk/client/index.js'));
  ({ StdioClientTransport, getDefaultEnvironment } = await import('@modelcontextprotocol/sdk/client/stdio.js'));
} catch (error) {
  if (error?.code === 'ERR_MODULE_NOT_FOUND') {
    console.log('SKIP: @modelcontextprotocol/sdk is not installed in tests/mcp/client (run ./dev setup)');
    process.exit(SKIP);
  }
  throw error;
}

function usage() {
  console.error('usage: node e2e.mjs <ostrel-mcp> --stub | --unreachable | --port <n>');
  process.exit(2);
}

// Starts the bridge with OSTREL_API_PORT = port and returns a connected SDK client.
async function connect(bridge, port) {
  const transport = new StdioClientTransport({
    command: bridge,
    args: [],
    env: { ...getDefaultEnvironment(), OSTREL_API_PORT: String(port) },
    stderr: 'inherit',
  });
  const client = new Client({ name: 'ostrel-e2e', version: '1.0.0' });
  await client.connect(transport);
  return client;
}

async function listSixTools(client) {
  const { tools } = await client.listTools();
  assert.deepEqual(tools.map((tool) => tool.name), TOOL_NAMES);
  for (const tool of tools) {
    assert.equal(tool.inputSchema.type, 'object');
    assert.equal(tool.inputSchema.required, undefined);
  }
  const setParams = tools.find((tool) => tool.name === 'ostrel_set_params');
  assert.equal(Object.keys(setParams.inputSchema.properties).length, 24);
  return tools;
}

function text(result) {
  assert.equal(result.content.length >= 1, true);
  assert.equal(result.content[0].type, 'text');
  return result.content[0].text;
}

// A loopback stub of the application's HTTP API that records what it receives.
async function startStub() {
  const requests = [];
  const server = http.createServer((request, response) => {
    const chunks = [];
    request.on('data', (chunk) => chunks.push(chunk));
    request.on('end', () => {
      const body = Buffer.concat(chunks);
      requests.push({ method: request.method, url: request.url, headers: request.headers, body: body.toString('utf8') });
      const json = (status, value) => {
        response.writeHead(status, { 'Content-Type': 'application/json; charset=utf-8' });
        response.end(typeof value === 'string' ? value : JSON.stringify(value));
      };
      switch (`${request.method} ${request.url}`) {
        case 'GET /v1/state':
          return json(200, { app: 'Ostrel', apiPort: server.address().port, metrics: { pathCount: 3 } });
        case 'GET /v1/help':
          // Invalid UTF-8 in the body must arrive as U+FFFD, not break the JSON-RPC line.
          response.writeHead(200, { 'Content-Type': 'application/json; charset=utf-8' });
          return response.end(Buffer.concat([Buffer.from('{"app":"Ostrel","note":"'), Buffer.from([0xff, 0xc3]), Buffer.from('"}')]));
        case 'POST /v1/open':
          return json(200, { ok: true, preset: JSON.parse(body).preset, pathCount: 3 });
        case 'POST /v1/params':
          return json(200, { ok: true, pathCount: 3, drawDistanceMM: 12.5 });
        case 'POST /v1/export':
          return json(400, { error: 'No active vectorization result' });
        case 'GET /v1/snapshot.png?view=overlay':
          response.writeHead(200, { 'Content-Type': 'image/png' });
          return response.end(PNG);
        default:
          return json(404, { error: 'not found', path: request.url.split('?')[0] });
      }
    });
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { server, requests, port: server.address().port };
}

async function againstStub(bridge) {
  const stub = await startStub();
  const client = await connect(bridge, stub.port);
  try {
    assert.equal(client.getServerVersion().name, 'ostrel');
    assert.deepEqual(client.getServerCapabilities(), { tools: {} });
    await client.ping();
    await listSixTools(client);

    const state = await client.callTool({ name: 'ostrel_state', arguments: {} });
    assert.equal(state.isError, false);
    assert.deepEqual(JSON.parse(text(state)), { app: 'Ostrel', apiPort: stub.port, metrics: { pathCount: 3 } });

    const help = await client.callTool({ name: 'ostrel_help', arguments: {} });
    assert.equal(help.isError, false);
    assert.equal(text(help), '{"app":"Ostrel","note":"\uFFFD\uFFFD"}');

    const open = await client.callTool({ name: 'ostrel_open', arguments: { preset: 'portrait', path: '/tmp/a/b.png' } });
    assert.equal(open.isError, false);
    assert.deepEqual(JSON.parse(text(open)), { ok: true, preset: 'portrait', pathCount: 3 });

    const params = await client.callTool({ name: 'ostrel_set_params', arguments: { penCount: 2, invert: true } });
    assert.equal(params.isError, false);

    const exported = await client.callTool({ name: 'ostrel_export_svg', arguments: { format: 'svg' } });
    assert.equal(exported.isError, true);
    assert.deepEqual(JSON.parse(text(exported)), { error: 'No active vectorization result' });

    const snapshot = await client.callTool({ name: 'ostrel_snapshot', arguments: { view: 'overlay' } });
    assert.equal(snapshot.isError, undefined);
    assert.deepEqual(snapshot.content, [
      { type: 'image', data: PNG.toString('base64'), mimeType: 'image/png' },
      { type: 'text', text: 'Snapshot of the Ostrel window.' },
    ]);

    const unknown = await client.callTool({ name: 'ostrel_nope', arguments: {} }).then(
      () => assert.fail('an unknown tool must be a JSON-RPC error'),
      (error) => error);
    assert.equal(unknown.code, -32602);
    assert.match(unknown.message, /unknown tool: ostrel_nope/);

    // What the application received, request by request.
    const seen = stub.requests.map(({ method, url, body }) => ({ method, url, body }));
    assert.deepEqual(seen, [
      { method: 'GET', url: '/v1/state', body: '' },
      { method: 'GET', url: '/v1/help', body: '' },
      { method: 'POST', url: '/v1/open', body: '{"path":"/tmp/a/b.png","preset":"portrait"}' },
      { method: 'POST', url: '/v1/params', body: '{"invert":true,"penCount":2}' },
      { method: 'POST', url: '/v1/export', body: '{"format":"svg"}' },
      { method: 'GET', url: '/v1/snapshot.png?view=overlay', body: '' },
    ]);
    for (const request of stub.requests) {
      assert.equal(request.headers.expect, undefined);
      assert.equal(request.headers['content-type'],
        request.method === 'POST' ? 'application/json; charset=utf-8' : undefined);
    }
  } finally {
    await client.close();
    stub.server.close();
  }
}

// A loopback port on which nothing listens.
async function unusedPort() {
  const probe = net.createServer();
  await new Promise((resolve) => probe.listen(0, '127.0.0.1', resolve));
  const { port } = probe.address();
  await new Promise((resolve) => probe.close(resolve));
  return port;
}

async function withNothingListening(bridge) {
  const port = await unusedPort();
  const client = await connect(bridge, port);
  try {
    await listSixTools(client);
    const expected = new RegExp(
      `^Ostrel is not reachable at http://127\\.0\\.0\\.1:${port} \u2014 launch /\\S*Ostrel and retry\\.$`);
    for (const name of TOOL_NAMES) {
      const result = await client.callTool({ name, arguments: {} });
      assert.equal(result.isError, true, name);
      assert.equal(result.content.length, 1, name);
      assert.match(text(result), expected, name);
    }
  } finally {
    await client.close();
  }
}

// Against the real application: every tool answers without a transport error.
async function againstApplication(bridge, port) {
  const client = await connect(bridge, port);
  try {
    await listSixTools(client);
    const calls = [
      ['ostrel_state', {}],
      ['ostrel_help', {}],
      ['ostrel_open', { preset: 'portrait' }],
      ['ostrel_set_params', { penCount: 2 }],
      ['ostrel_export_svg', { format: 'svg' }],
      ['ostrel_snapshot', { view: 'vector' }],
    ];
    for (const [name, args] of calls) {
      const result = await client.callTool({ name, arguments: args });
      assert.notEqual(result.isError, true, `${name}: ${JSON.stringify(result.content)}`);
      if (name === 'ostrel_snapshot') {
        assert.equal(result.content[0].type, 'image', JSON.stringify(result.content));
        assert.equal(Buffer.from(result.content[0].data, 'base64').subarray(0, 8).equals(PNG.subarray(0, 8)), true);
      } else {
        JSON.parse(text(result));
      }
    }
  } finally {
    await client.close();
  }
}

const [bridge, mode, value] = process.argv.slice(2);
if (!bridge || !mode) usage();
try {
  if (mode === '--stub') await againstStub(bridge);
  else if (mode === '--unreachable') await withNothingListening(bridge);
  else if (mode === '--port' && /^\d+$/.test(value ?? '')) await againstApplication(bridge, Number(value));
  else usage();
  console.log(`PASS ${mode}`);
} catch (error) {
  console.error(`FAIL ${mode}:`, error);
  process.exit(1);
}

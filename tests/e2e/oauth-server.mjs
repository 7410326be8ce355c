// A real OAuth 2.0 authorization server on loopback for the sign-in tests:
// npm's oidc-provider (installed by scripts/install-npm-deps.sh), with PKCE,
// the device flow, refresh-token rotation, revocation and introspection.
//   node oauth-server.mjs FOLDER NPM_FOLDER WATCH_PID
// Writes FOLDER/issuer once it listens, and FOLDER/stats.json after every
// token request, refresh, revocation and device poll. Ends when WATCH_PID
// does.
//
// Beside it, two TLS fronts pass their connections on to it: one on
// 127.0.0.1 and one on 127.0.0.2, addresses written to FOLDER/tls-fronts.
// Each takes its certificate from FOLDER/tls-cert.pem and tls-key.pem at
// every connection, so that the test can give it one (a private CA's for
// "localhost" and 127.0.0.1, which the second address does not match)
// after it has started.
//
// Clients: "getmail" (a native public client; its access tokens last two
// minutes, less than the margin the tool keeps, so every run refreshes),
// "getmail-cached" (access tokens of an hour), "device-deny" (every device
// code is refused), "device-expire" (device codes last two seconds),
// "device-slow" (the first poll is told slow_down), and "dovecot", the mail
// server, which introspects tokens.
// The user signs in at once as the login_hint of the request, or is refused
// (access_denied) when that hint is "refuse".
import fs from 'node:fs';
import http from 'node:http';
import net from 'node:net';
import path from 'node:path';
import tls from 'node:tls';
import { pathToFileURL } from 'node:url';

const [folder, npmFolder, watchPid] = process.argv.slice(2);
const { default: Provider } = await import(
  pathToFileURL(path.join(npmFolder, 'node_modules/oidc-provider/lib/index.js')).href);

const server = http.createServer();
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const issuer = `http://127.0.0.1:${server.address().port}`;

const native = (clientId) => ({
  client_id: clientId,
  application_type: 'native',
  token_endpoint_auth_method: 'none',
  redirect_uris: ['http://127.0.0.1/'],
  grant_types: ['authorization_code', 'refresh_token',
    'urn:ietf:params:oauth:grant-type:device_code'],
  response_types: ['code'],
});

const stats = { refreshes: 0, revocations: 0, polls: {}, tokens: 0 };
const saveStats = () => {
  fs.writeFileSync(path.join(folder, 'stats.json.tmp'), JSON.stringify(stats));
  fs.renameSync(path.join(folder, 'stats.json.tmp'), path.join(folder, 'stats.json'));
};

const provider = new Provider(issuer, {
  clients: [
    native('getmail'), native('getmail-cached'), native('device-deny'),
    native('device-expire'), native('device-slow'),
    {
      client_id: 'dovecot',
      client_secret: 'dovecot-secret',
      grant_types: ['client_credentials'],
      response_types: [],
      redirect_uris: [],
    },
  ],
  findAccount: async (ctx, id) => ({ accountId: id, claims: async () => ({ sub: id }) }),
  features: {
    devInteractions: { enabled: false },
    deviceFlow: { enabled: true },
    introspection: { enabled: true },
    revocation: { enabled: true },
    clientCredentials: { enabled: true },
  },
  pkce: { methods: ['S256'], required: () => true },
  scopes: ['openid', 'offline_access'],
  issueRefreshToken: async (ctx, client) => client.grantTypeAllowed('refresh_token'),
  rotateRefreshToken: () => true,
  // Dovecot takes the mailbox's name from "username" in the introspection.
  extraTokenClaims: async (ctx, token) => ({ username: token.accountId }),
  ttl: {
    AccessToken: (ctx, token, client) => (client?.clientId === 'getmail-cached' ? 3600 : 120),
    AuthorizationCode: 60,
    DeviceCode: (ctx, code, client) => (client?.clientId === 'device-expire' ? 2 : 600),
    Grant: 86400,
    IdToken: 600,
    Interaction: 600,
    RefreshToken: 86400,
    Session: 600,
  },
  interactions: { url: (ctx, interaction) => `/interaction/${interaction.uid}` },
  cookies: { keys: ['only-for-tests'] },
});

// Approves a device code as the user "quarrow" would on the verification
// page.
async function approveDeviceCode(code) {
  const grant = new provider.Grant({ accountId: 'quarrow', clientId: code.clientId });
  grant.addOIDCScope(code.params.scope || 'openid offline_access');
  Object.assign(code, {
    accountId: 'quarrow',
    authTime: Math.floor(Date.now() / 1000),
    grantId: await grant.save(),
    scope: code.params.scope || 'openid offline_access',
  });
  await code.save();
}

const slowedDown = new Set();
provider.use(async (ctx, next) => {
  await next();
  const clientId = ctx.oidc?.client?.clientId;
  if (ctx.path === '/device/auth' && ctx.status === 200) {
    ctx.body.interval = 1;
    const code = ctx.oidc.entities.DeviceCode;
    if (clientId === 'device-deny') {
      Object.assign(code, { error: 'access_denied', errorDescription: 'the user said no' });
      await code.save();
    } else if (clientId !== 'device-expire') {
      // Approved a little later, so that the first polls are pending.
      setTimeout(() => approveDeviceCode(code).catch(() => {}),
        clientId === 'device-slow' ? 3000 : 1500);
    }
  }
  if (ctx.path === '/token') {
    const grantType = ctx.oidc?.params?.grant_type;
    if (grantType === 'urn:ietf:params:oauth:grant-type:device_code') {
      (stats.polls[clientId] ||= []).push({ at: Date.now(), answer: ctx.body?.error || 'tokens' });
      if (clientId === 'device-slow' && ctx.body?.error === 'authorization_pending'
          && !slowedDown.has(ctx.oidc.params.device_code)) {
        slowedDown.add(ctx.oidc.params.device_code);
        ctx.body = { error: 'slow_down', error_description: 'polling too often' };
        stats.polls[clientId].at(-1).answer = 'slow_down';
      }
    }
    if (ctx.status === 200) {
      stats.tokens += 1;
      if (grantType === 'refresh_token') stats.refreshes += 1;
    }
    saveStats();
  }
  if (ctx.path === '/token/revocation' && ctx.status === 200) {
    stats.revocations += 1;
    saveStats();
  }
});

// The user's part in the browser: signed in and agreed at once.
async function interaction(req, res) {
  const details = await provider.interactionDetails(req, res);
  const { prompt, params } = details;
  if (params.login_hint === 'refuse') {
    await provider.interactionFinished(req, res,
      { error: 'access_denied', error_description: 'the user said no' },
      { mergeWithLastSubmission: false });
    return;
  }
  if (prompt.name === 'login') {
    await provider.interactionFinished(req, res,
      { login: { accountId: params.login_hint || 'quarrow' } },
      { mergeWithLastSubmission: false });
    return;
  }
  const grant = details.grantId
    ? await provider.Grant.find(details.grantId)
    : new provider.Grant({ accountId: details.session.accountId, clientId: params.client_id });
  grant.addOIDCScope(params.scope);
  await provider.interactionFinished(req, res, { consent: { grantId: await grant.save() } },
    { mergeWithLastSubmission: true });
}

const callback = provider.callback();
server.on('request', (req, res) => {
  if (req.url.startsWith('/interaction/')) {
    interaction(req, res).catch((error) => {
      res.statusCode = 500;
      res.end(String(error));
    });
    return;
  }
  callback(req, res);
});

async function tlsFront(address) {
  const front = net.createServer((socket) => {
    socket.on('error', () => {});
    let secure;
    try {
      secure = new tls.TLSSocket(socket, {
        isServer: true,
        secureContext: tls.createSecureContext({
          cert: fs.readFileSync(path.join(folder, 'tls-cert.pem')),
          key: fs.readFileSync(path.join(folder, 'tls-key.pem')),
        }),
      });
    } catch {
      socket.destroy();
      return;
    }
    secure.on('error', () => {});
    const plain = net.connect(server.address().port, '127.0.0.1');
    plain.on('error', () => secure.destroy());
    secure.on('close', () => plain.destroy());
    plain.on('close', () => secure.destroy());
    secure.pipe(plain).pipe(secure);
  });
  await new Promise((resolve) => front.listen(0, address, resolve));
  return `https://${address}:${front.address().port}`;
}
const fronts = [await tlsFront('127.0.0.1'), await tlsFront('127.0.0.2')];
fs.writeFileSync(path.join(folder, 'tls-fronts'), fronts.join(' '));

saveStats();
fs.writeFileSync(path.join(folder, 'issuer'), issuer);
setInterval(() => {
  try {
    process.kill(Number(watchPid), 0);
  } catch {
    process.exit(0);
  }
}, 1000);

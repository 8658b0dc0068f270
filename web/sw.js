// The site's service worker: keeps exactly this version's files (CACHE and FILES, written above this
// line by the build) and answers the site's requests from them, so that the page works offline.

// Which cache each open page was loaded from, by client id: a page loaded before a newer version
// took over goes on getting its own version's files, so that one load never mixes two versions.
const LOADS = 'kzm2it-loads';

// Fetched past the HTTP cache and checked against the build's hashes: a cache never holds a file
// of another version, and a site changed midway fails this install, to be tried again later.
self.addEventListener('install', (e) => {
    e.waitUntil(caches.open(CACHE).then((cache) => Promise.all(Object.entries(FILES).map(async ([name, hash]) => {
        const response = await fetch(name, { cache: 'no-cache' });
        const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', await response.clone().arrayBuffer()));
        if (!response.ok || btoa(String.fromCharCode(...digest)) !== hash)
            throw new Error(name + ' is not the file this version was built with');
        await cache.put(name, response);
    }))));
});

// The page asks a newer version to take over once it has loaded all it needs.
self.addEventListener('message', (e) => {
    if (e.data === 'take over')
        self.skipWaiting();
});

// Forgets the loads of pages no longer open; returns the caches that this version and the open
// pages use.
async function inUse() {
    const open = (await clients.matchAll({ includeUncontrolled: true })).map((c) => c.id);
    const loads = await caches.open(LOADS);
    const used = new Set([CACHE, LOADS]);
    for (const request of await loads.keys()) {
        if (open.includes(request.url.split('/').pop()))
            used.add(await (await loads.match(request)).text());
        else
            await loads.delete(request);
    }
    return used;
}

// Drops the caches of versions that no open page was loaded from.
self.addEventListener('activate', (e) => {
    e.waitUntil(inUse().then(async (used) => {
        for (const name of await caches.keys()) {
            if (name.startsWith('kzm2it-') && !used.has(name))
                await caches.delete(name);
        }
    }));
});

// Only the site's own files: anything else goes its way under the page's policy, untouched.
self.addEventListener('fetch', (e) => {
    if (new URL(e.request.url).origin !== location.origin)
        return;
    e.respondWith(answer(e));
});

// A load is answered from this version's cache and noted; each later request of the page that it
// starts, from the cache of its load. The site's folder itself is its index.html.
async function answer(e) {
    const loads = await caches.open(LOADS);
    let cacheName = CACHE;
    let request = e.request;
    if (e.request.mode === 'navigate') {
        await inUse();
        if (e.resultingClientId)
            await loads.put('load/' + e.resultingClientId, new Response(CACHE));
    } else {
        const from = await loads.match('load/' + e.clientId);
        cacheName = from ? await from.text() : CACHE;
    }
    if (new URL(e.request.url).pathname === new URL('./', location).pathname)
        request = 'index.html';
    const kept = await caches.match(request, { cacheName, ignoreSearch: true });
    return kept || fetch(e.request);
}

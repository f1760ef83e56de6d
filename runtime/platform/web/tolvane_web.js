// Sound and movies for Tolvane programs in the browser, through Web Audio and the
// browser's video decoder. The sound graph:
//   sample sounds: source -> channel gains (left, right) -> merger -> effects bus
//   music: decoded source, or the SoundFont synthesizer's worklet -> music bus
//   movies: video element -> gain (1) -> effects bus
//   effects bus, music bus -> master -> speakers
// Each bus has an analyser, so the page (and its tests) can tell what is heard.
// The MIDI synthesizer (FluidSynth built for the web, through js-synthesizer) and its
// soundfont are fetched the first time a MIDI piece plays.

mergeInto(LibraryManager.library, {
  // Movies through the browser's own decoder: a video element plays the movie file's
  // bytes (a Blob URL, never a fetch of the file's name); each new picture goes straight
  // from it into a texture of the program's WebGL context, and the sound through the
  // effects bus at the samples' own volume. `log` keeps what each movie did, for the
  // page and its tests: its length and size, when it was started, began to play, showed
  // its first picture, when its clock began (as its time then says) and when it ended
  // (performance.now()), the times of the pictures presented, its passes and the
  // pictures taken; the last hundred movies are kept.
  $TolvaneMovie__deps: ['$TolvaneAudio', '$GL'],
  $TolvaneMovie: {
    movies: [null],
    current: null,
    log: [],

    note: function(entry) {
      if (TolvaneMovie.log.length >= 100) TolvaneMovie.log.shift();
      TolvaneMovie.log.push(entry);
    },

    close: function(m) {
      const v = m.video;
      m.closed = true;
      v.onended = v.onerror = v.onseeking = v.onplaying = v.ontimeupdate = null;
      try { v.pause(); } catch (e) {}
      if (m.source) m.source.disconnect();
      if (m.gain) m.gain.disconnect();
      v.removeAttribute('src');
      try { v.load(); } catch (e) {}
      URL.revokeObjectURL(m.url);
      m.entry.closedAt = performance.now();
      if (TolvaneMovie.current === m) TolvaneMovie.current = null;
    },
  },

  // Opens the movie; the answer (an id, 0 when the browser cannot play it) waits until
  // the browser has its first picture, refuses the file, or 15 s have passed.
  tolvane_movie_open__deps: ['$TolvaneMovie', '$Asyncify'],
  tolvane_movie_open: function(bytes, size, name) {
    return Asyncify.handleAsync(async () => {
      const M = TolvaneMovie;
      Module['tolvaneMovie'] = M;
      const url = URL.createObjectURL(new Blob([HEAPU8.slice(bytes, bytes + size)]));
      const video = document.createElement('video');
      video.preload = 'auto';
      video.playsInline = true;
      video.muted = true;
      const entry = {name: UTF8ToString(name), openedAt: performance.now(), length: 0, width: 0, height: 0,
                     passes: 0, pictures: 0, sound: false, presented: []};
      const ok = await new Promise(resolve => {
        let timer = 0;
        const done = answer => {
          clearTimeout(timer);
          video.onloadeddata = video.onerror = null;
          resolve(answer);
        };
        timer = setTimeout(() => done(false), 15000);
        video.onloadeddata = () => done(video.videoWidth > 0 && video.videoHeight > 0);
        video.onerror = () => done(false);
        video.src = url;
      });
      const m = {video: video, url: url, entry: entry, frames: 0, taken: -1, lastTime: -1, passes: 0, ended: false,
                 failed: false, closed: false, source: null, gain: null};
      if (!ok) {
        entry.refused = true;
        M.note(entry);
        M.close(m);
        return 0;
      }
      entry.length = isFinite(video.duration) ? video.duration : 0;
      entry.width = video.videoWidth;
      entry.height = video.videoHeight;
      M.note(entry);
      let id = M.movies.indexOf(null, 1);
      if (id < 0) id = M.movies.push(null) - 1;
      M.movies[id] = m;
      return id;
    });
  },

  tolvane_movie_size__deps: ['$TolvaneMovie'],
  tolvane_movie_size: function(id, height) {
    const m = TolvaneMovie.movies[id];
    return m ? (height ? m.video.videoHeight : m.video.videoWidth) : 0;
  },

  tolvane_movie_length__deps: ['$TolvaneMovie'],
  tolvane_movie_length: function(id) {
    const m = TolvaneMovie.movies[id];
    return m && isFinite(m.video.duration) ? m.video.duration * 1000 : 0;
  },

  // Plays from the start, looping or not, heard or muted. Where the browser does not let
  // the sound start (no click on the page yet, or the sound graph not running, which
  // would hold the movie), the movie plays muted.
  tolvane_movie_start__deps: ['$TolvaneMovie'],
  tolvane_movie_start: function(id, loop, sound) {
    const M = TolvaneMovie, A = TolvaneAudio, m = M.movies[id];
    if (!m) return;
    const v = m.video;
    M.current = m;
    v.loop = !!loop;
    if (sound && A.ctx && A.buses && A.ctx.state === 'running') {
      if (!m.source) {
        m.source = A.ctx.createMediaElementSource(v);
        m.gain = A.ctx.createGain();
        m.gain.gain.value = 1;
        m.source.connect(m.gain);
        m.gain.connect(A.buses.effects.gain);
      }
      v.muted = false;
    } else {
      v.muted = true;
    }
    m.passes = 1;
    // A looping movie goes back to its start by itself: each return is a new pass.
    v.onseeking = () => { if (v.loop) ++m.passes; };
    v.onended = () => {
      m.ended = true;
      m.entry.endedAt = performance.now();
    };
    v.onerror = () => { m.failed = true; };
    v.onplaying = () => { if (!m.entry.playingAt) m.entry.playingAt = performance.now(); };
    // When the movie's clock began, as its first report of a time under way says.
    v.ontimeupdate = () => {
      if (!m.entry.clockStartedAt && v.currentTime > 0.05 && !v.paused)
        m.entry.clockStartedAt = performance.now() - v.currentTime * 1000;
    };
    if (v.requestVideoFrameCallback) {
      m.rvfc = true;
      // The pictures presented (the first thousand): when, by the compositor's clock, and
      // their movie times.
      const next = (now, frame) => {
        ++m.frames;
        if (m.entry.presented.length < 1000) m.entry.presented.push([frame.presentationTime, frame.mediaTime]);
        if (!m.closed) v.requestVideoFrameCallback(next);
      };
      v.requestVideoFrameCallback(next);
    }
    m.entry.startedAt = performance.now();
    v.play().catch(() => {
      if (m.closed) return;
      if (v.muted) { m.failed = true; return; }
      v.muted = true;
      v.play().catch(() => { m.failed = true; });
    });
  },

  tolvane_movie_position__deps: ['$TolvaneMovie'],
  tolvane_movie_position: function(id) {
    const m = TolvaneMovie.movies[id];
    return m ? m.video.currentTime * 1000 : 0;
  },

  tolvane_movie_passes__deps: ['$TolvaneMovie'],
  tolvane_movie_passes: function(id) {
    const m = TolvaneMovie.movies[id];
    return m ? m.passes : 0;
  },

  tolvane_movie_ended__deps: ['$TolvaneMovie'],
  tolvane_movie_ended: function(id) {
    const m = TolvaneMovie.movies[id];
    return !m || m.ended || m.failed ? 1 : 0;
  },

  tolvane_movie_sound_heard__deps: ['$TolvaneMovie'],
  tolvane_movie_sound_heard: function(id) {
    const m = TolvaneMovie.movies[id];
    return m && !m.video.muted && m.video.webkitAudioDecodedByteCount > 0 ? 1 : 0;
  },

  // A picture not taken yet: one the browser presented since (where it tells, and does
  // so for a video element that is not on the page), else a movie time that moved on.
  tolvane_movie_new_picture__deps: ['$TolvaneMovie'],
  tolvane_movie_new_picture: function(id) {
    const m = TolvaneMovie.movies[id];
    if (!m || m.video.readyState < 2) return 0;
    if (m.taken < 0) return 1;
    if (m.rvfc && m.frames === 0 && m.video.currentTime > 0.2) m.rvfc = false;
    return m.frames !== m.taken || (!m.rvfc && m.video.currentTime !== m.lastTime) ? 1 : 0;
  },

  tolvane_movie_picture__deps: ['$TolvaneMovie', '$GL'],
  tolvane_movie_picture: function(id, texture) {
    const m = TolvaneMovie.movies[id], gl = GLctx;
    if (!m || !gl || !GL.textures[texture]) return;
    m.taken = m.frames;
    m.lastTime = m.video.currentTime;
    gl.bindTexture(gl.TEXTURE_2D, GL.textures[texture]);
    gl.pixelStorei(gl.UNPACK_FLIP_Y_WEBGL, false);
    gl.pixelStorei(gl.UNPACK_PREMULTIPLY_ALPHA_WEBGL, false);
    // Drawn scaled to its place on the screen: filtered.
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
    try {
      gl.texSubImage2D(gl.TEXTURE_2D, 0, 0, 0, gl.RGBA, gl.UNSIGNED_BYTE, m.video);
    } catch (e) {
      return;
    }
    ++m.entry.pictures;
    if (!m.entry.firstAt) m.entry.firstAt = performance.now();
  },

  tolvane_movie_close__deps: ['$TolvaneMovie'],
  tolvane_movie_close: function(id) {
    const M = TolvaneMovie, m = M.movies[id];
    if (!m) return;
    m.entry.passes = m.passes;
    m.entry.sound = !m.video.muted && m.video.webkitAudioDecodedByteCount > 0;
    M.close(m);
    M.movies[id] = null;
  },

  $TolvaneAudio: {
    ctx: null,
    master: null,
    buses: null,
    sounds: [null],
    channels: [],
    music: null,     // {kind: 'buffer'|'midi', playing, duration, ...}
    synth: null,     // the synthesizer, once loaded (a promise)

    bus: function(name) {
      const ctx = TolvaneAudio.ctx;
      const gain = ctx.createGain();
      const analyser = ctx.createAnalyser();
      analyser.fftSize = 2048;
      gain.connect(TolvaneAudio.master);
      gain.connect(analyser);
      return {gain: gain, analyser: analyser, name: name};
    },

    // Root mean square of what a bus ('effects', 'music' or 'master') plays right now.
    level: function(name) {
      const b = TolvaneAudio.buses && TolvaneAudio.buses[name];
      if (!b) return 0;
      const data = new Float32Array(b.analyser.fftSize);
      b.analyser.getFloatTimeDomainData(data);
      let sum = 0;
      for (let i = 0; i < data.length; ++i) sum += data[i] * data[i];
      return Math.sqrt(sum / data.length);
    },

    // Stops what the channel plays and takes every node of it out of the graph.
    stopChannel: function(c) {
      const ch = TolvaneAudio.channels[c];
      if (!ch || !ch.source) return;
      ch.source.onended = null;
      try { ch.source.stop(); } catch (e) {}
      TolvaneAudio.release(ch);
    },

    // Disconnects a channel's nodes (source, splitter, gains, merger) and forgets them.
    release: function(ch) {
      for (const node of ch.nodes || []) node.disconnect();
      ch.nodes = [];
      ch.source = null;
      ch.output = null;
      ch.sound = 0;
    },

    loadScript: function(url) {
      return new Promise((resolve, reject) => {
        const s = document.createElement('script');
        s.src = url;
        s.onload = resolve;
        s.onerror = () => reject(new Error('cannot load ' + url));
        document.head.appendChild(s);
      });
    },

    fetchBytes: async function(url) {
      const response = await fetch(url);
      if (!response.ok) throw new Error(url + ': ' + response.status);
      let body = response.body;
      if (url.endsWith('.gz')) body = body.pipeThrough(new DecompressionStream('gzip'));
      return await new Response(body).arrayBuffer();
    },

    // The synthesizer with the soundfont loaded, playing into the music bus.
    loadSynth: function() {
      if (TolvaneAudio.synth) return TolvaneAudio.synth;
      const base = Module['synthPath'] || 'synth/';
      TolvaneAudio.synth = (async () => {
        const ctx = TolvaneAudio.ctx;
        if (typeof JSSynth === 'undefined') await TolvaneAudio.loadScript(base + 'js-synthesizer.min.js');
        await ctx.audioWorklet.addModule(base + 'libfluidsynth.js');
        await ctx.audioWorklet.addModule(base + 'js-synthesizer.worklet.min.js');
        const synth = new JSSynth.AudioWorkletNodeSynthesizer();
        synth.init(ctx.sampleRate);
        const node = synth.createAudioNode(ctx);
        node.connect(TolvaneAudio.buses.music.gain);
        const font = await TolvaneAudio.fetchBytes(base + (Module['soundFont'] || 'soundfont.sf2.gz'));
        await synth.loadSFont(font);
        return synth;
      })();
      TolvaneAudio.synth.catch(e => console.error('Tolvane: MIDI synthesizer: ' + e.message));
      return TolvaneAudio.synth;
    },

    startMidi: async function(music) {
      const synth = await TolvaneAudio.loadSynth();
      if (TolvaneAudio.music !== music) return;
      await synth.stopPlayer();
      await synth.resetPlayer();
      await synth.addSMFDataToPlayer(music.midi);
      if (TolvaneAudio.music !== music) return;
      await synth.playPlayer();
      music.playing = true;
      music.starting = false;
      const round = ++music.round;
      synth.waitForPlayerStopped().then(() => {
        if (TolvaneAudio.music === music && music.round === round && !music.starting) music.playing = false;
      });
    },

    startBuffer: function(music) {
      const src = TolvaneAudio.ctx.createBufferSource();
      src.buffer = music.buffer;
      src.loop = !!music.loop;  // the last sample runs straight on to the first
      src.connect(TolvaneAudio.buses.music.gain);
      src.onended = () => { if (music.source === src) music.playing = false; };
      music.source = src;
      music.playing = true;
      src.start();
    },

    stopMusic: function() {
      const music = TolvaneAudio.music;
      TolvaneAudio.music = null;
      if (!music) return;
      if (music.source) {
        music.source.onended = null;
        try { music.source.stop(); } catch (e) {}
        music.source.disconnect();
      }
      if (music.kind === 'midi' && TolvaneAudio.synth) {
        TolvaneAudio.synth.then(s => { if (!TolvaneAudio.music) { s.stopPlayer(); s.midiAllSoundsOff(); } })
          .catch(() => {});
      }
    },

  },

  // The warning tone: through the program's sound when it is open, else straight to the
  // page's speakers (the program may warn before it has played anything).
  tolvane_audio_beep__deps: ['$TolvaneAudio'],
  tolvane_audio_beep: function() {
    try {
      const A = TolvaneAudio;
      let ctx = A.ctx, output = A.master;
      if (!ctx) {
        const Ctx = window.AudioContext || window.webkitAudioContext;
        ctx = Module['audioContext'] || A.beepContext || (Ctx ? (A.beepContext = new Ctx()) : null);
        if (!ctx) return;
        output = ctx.destination;
      }
      const osc = ctx.createOscillator(), gain = ctx.createGain();
      osc.frequency.value = 880;
      gain.gain.value = 0.2;
      osc.connect(gain);
      gain.connect(output);
      osc.onended = () => { osc.disconnect(); gain.disconnect(); };
      osc.start();
      osc.stop(ctx.currentTime + 0.12);
    } catch (e) {
      console.error('Tolvane: no warning tone: ' + e.message);
    }
  },

  tolvane_audio_open__deps: ['$TolvaneAudio'],
  tolvane_audio_open: function(mixerChannels) {
    try {
      const A = TolvaneAudio;
      if (!A.ctx) {
        const Ctx = window.AudioContext || window.webkitAudioContext;
        if (!Ctx) return 0;
        A.ctx = Module['audioContext'] || new Ctx();
        A.master = A.ctx.createGain();
        A.master.connect(A.ctx.destination);
        const masterAnalyser = A.ctx.createAnalyser();
        masterAnalyser.fftSize = 2048;
        A.master.connect(masterAnalyser);
        A.buses = {master: {gain: A.master, analyser: masterAnalyser}};
        A.buses.effects = A.bus('effects');
        A.buses.music = A.bus('music');
        Module['tolvaneAudio'] = A;
      }
      A.channels = [];
      for (let c = 0; c < mixerChannels; ++c) A.channels.push({source: null, output: null, sound: 0, nodes: []});
      return 1;
    } catch (e) {
      console.error('Tolvane: no sound: ' + e.message);
      return 0;
    }
  },

  // The rate the browser plays at (frames a second); 0 before the sound is opened.
  tolvane_audio_rate__deps: ['$TolvaneAudio'],
  tolvane_audio_rate: function() {
    return TolvaneAudio.ctx ? TolvaneAudio.ctx.sampleRate | 0 : 0;
  },

  tolvane_audio_close__deps: ['$TolvaneAudio'],
  tolvane_audio_close: function() {
    for (let c = 0; c < TolvaneAudio.channels.length; ++c) TolvaneAudio.stopChannel(c);
    TolvaneAudio.stopMusic();
  },

  tolvane_audio_make_sound__deps: ['$TolvaneAudio'],
  tolvane_audio_make_sound: function(pcm, bytes, frequency, channels, bits) {
    const A = TolvaneAudio;
    const frameBytes = channels * bits / 8;
    const frames = Math.floor(bytes / frameBytes);
    let buffer;
    try {
      // Web Audio takes at least one frame at 3000 ... 768000 frames a second.
      buffer = A.ctx.createBuffer(2, Math.max(frames, 1), frequency);
    } catch (e) {
      return 0;
    }
    const left = buffer.getChannelData(0), right = buffer.getChannelData(1);
    for (let i = 0; i < frames; ++i) {
      for (let c = 0; c < 2; ++c) {
        const k = c < channels ? c : 0;
        let v;
        if (bits === 8) {
          v = (HEAPU8[pcm + i * frameBytes + k] - 128) / 128;
        } else {
          const at = pcm + i * frameBytes + k * 2;
          v = ((HEAPU8[at] | (HEAPU8[at + 1] << 8)) << 16 >> 16) / 32768;
        }
        (c === 0 ? left : right)[i] = v;
      }
    }
    // The first free id (0 is none), so loading again and again does not grow the table.
    let id = A.sounds.indexOf(null, 1);
    if (id < 0) id = A.sounds.push(null) - 1;
    A.sounds[id] = buffer;
    return id;
  },

  tolvane_audio_free_sound__deps: ['$TolvaneAudio'],
  tolvane_audio_free_sound: function(id) {
    const A = TolvaneAudio;
    for (let c = 0; c < A.channels.length; ++c)
      if (A.channels[c].sound === id) A.stopChannel(c);
    A.sounds[id] = null;
  },

  tolvane_audio_play__deps: ['$TolvaneAudio'],
  // Plays a sound on a channel, once or (loop) again and again until the channel stops.
  tolvane_audio_play: function(channel, id, left, right, loop) {
    const A = TolvaneAudio, ch = A.channels[channel], buffer = A.sounds[id];
    if (!ch || !buffer) return 0;
    A.stopChannel(channel);
    const ctx = A.ctx;
    const src = ctx.createBufferSource();
    src.buffer = buffer;
    src.loop = !!loop;
    const split = ctx.createChannelSplitter(2), merge = ctx.createChannelMerger(2);
    const gl = ctx.createGain(), gr = ctx.createGain();
    gl.gain.value = left;
    gr.gain.value = right;
    src.connect(split);
    split.connect(gl, 0);
    split.connect(gr, 1);
    gl.connect(merge, 0, 0);
    gr.connect(merge, 0, 1);
    merge.connect(A.buses.effects.gain);
    src.onended = () => {
      if (ch.source === src) A.release(ch);
    };
    ch.source = src;
    ch.output = merge;
    ch.sound = id;
    ch.nodes = [src, split, gl, gr, merge];
    src.start();
    return 1;
  },

  tolvane_audio_playing__deps: ['$TolvaneAudio'],
  tolvane_audio_playing: function(channel) {
    const ch = TolvaneAudio.channels[channel];
    return ch && ch.source ? 1 : 0;
  },

  tolvane_audio_stop__deps: ['$TolvaneAudio'],
  tolvane_audio_stop: function(channel) { TolvaneAudio.stopChannel(channel); },

  // Starts a piece; for decoded formats the answer waits for the browser's decoder, a
  // MIDI piece counts as playing from now on while the synthesizer gets ready.
  tolvane_music_play__deps: ['$TolvaneAudio', '$Asyncify'],
  tolvane_music_play: function(bytes, size, midi, loop) {
    return Asyncify.handleAsync(async () => {
      const A = TolvaneAudio;
      A.stopMusic();
      const data = HEAPU8.slice(bytes, bytes + size);
      if (midi) {
        const music = {kind: 'midi', midi: data.buffer, playing: true, starting: true, round: 0, duration: -1};
        A.music = music;
        A.startMidi(music).catch(e => {
          console.error('Tolvane: MIDI music: ' + e.message);
          if (A.music === music) music.playing = false;
        });
        return 1;
      }
      let buffer;
      try {
        buffer = await A.ctx.decodeAudioData(data.buffer);
      } catch (e) {
        return 0;
      }
      const music = {kind: 'buffer', buffer: buffer, playing: false, duration: buffer.duration, loop: !!loop};
      A.music = music;
      A.startBuffer(music);
      return 1;
    });
  },

  tolvane_music_playing__deps: ['$TolvaneAudio'],
  tolvane_music_playing: function() {
    const m = TolvaneAudio.music;
    return m && m.playing ? 1 : 0;
  },

  tolvane_music_duration__deps: ['$TolvaneAudio'],
  tolvane_music_duration: function() {
    const m = TolvaneAudio.music;
    return m ? m.duration : -1;
  },

  tolvane_music_restart__deps: ['$TolvaneAudio'],
  tolvane_music_restart: function() {
    const A = TolvaneAudio, m = A.music;
    if (!m) return;
    if (m.kind === 'midi') {
      m.playing = true;
      m.starting = true;
      A.startMidi(m).catch(() => { if (A.music === m) m.playing = false; });
    } else {
      if (m.source) {
        m.source.onended = null;
        try { m.source.stop(); } catch (e) {}
        m.source.disconnect();
      }
      A.startBuffer(m);
    }
  },

  tolvane_music_stop__deps: ['$TolvaneAudio'],
  tolvane_music_stop: function() { TolvaneAudio.stopMusic(); },

  // WebSockets (websocket_web.cpp), through Emscripten's WebSocket library. Making a
  // socket throws where the browser refuses the address (a fragment, an insecure ws://
  // from a page loaded over https, a port it blocks ...): that is a 0 here, not the
  // end of the program.
  tolvane_websocket_new__deps: ['emscripten_websocket_new'],
  tolvane_websocket_new: function(attributes) {
    try {
      return _emscripten_websocket_new(attributes);
    } catch (e) {
      return 0;
    }
  },

  // The library's delete takes the socket's callbacks away but leaves the socket in its
  // table; its slot is emptied here (never reused: ids are the table's length).
  tolvane_websocket_delete__deps: ['emscripten_websocket_delete', '$WS'],
  tolvane_websocket_delete: function(socket) {
    _emscripten_websocket_delete(socket);
    if (WS.sockets[socket]) WS.sockets[socket] = null;
  },
});

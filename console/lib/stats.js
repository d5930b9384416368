// Counters read by the browser tests and the benchmark.
export const stats = {
  messagesIn: 0,
  messagesOut: 0,
  previews: 0,
  previewFrames: 0,
  plotDraws: 0,
  connected: false,
};

window.emgStats = stats;

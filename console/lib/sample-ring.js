// The last `capacity` samples of several channels with their times, kept so
// that a plot can read them as contiguous arrays without copying: samples
// are appended to buffers twice as long, and the newest `capacity` are moved
// to the front when a buffer is full.
export class SampleRing {
  constructor(channels, capacity, secondsPerSample) {
    this.channels = channels;
    this.capacity = capacity;
    this.secondsPerSample = secondsPerSample;
    this.times = new Float64Array(2 * capacity);
    this.values = Array.from({ length: channels }, () => new Float64Array(2 * capacity));
    this.clear();
  }

  clear() {
    this.start = 0;
    this.end = 0;
    this.total = 0;
  }

  // Appends one frame: frame[i] is channel i's sample, stored as map(sample, i).
  push(frame, map) {
    if (this.end === this.times.length) this.compact();
    this.times[this.end] = this.total * this.secondsPerSample;
    for (let i = 0; i < this.channels; i++) this.values[i][this.end] = map(frame[i], i);
    this.end++;
    this.total++;
    if (this.end - this.start > this.capacity) this.start++;
  }

  compact() {
    this.times.copyWithin(0, this.start, this.end);
    for (const channel of this.values) channel.copyWithin(0, this.start, this.end);
    this.end -= this.start;
    this.start = 0;
  }

  // [times, channel 0, channel 1, …] as views of the buffered window.
  view() {
    return [this.times, ...this.values].map((array) => array.subarray(this.start, this.end));
  }
}

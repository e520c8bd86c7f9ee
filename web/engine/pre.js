// Runs inside the engine module before the engine: what the C++ glue's
// JavaScript calls share. Module.vexoLine (a SerialLine) and Module.vexoUi
// (the page's callbacks) are given by whoever creates the module.

// The port seam's error kinds, in the order of the C++ PortError.
Module.vexoPortErrors = ['none', 'no_such_port', 'not_found', 'permission_denied', 'busy',
                         'bad_settings', 'not_open', 'disconnected', 'io_error'];
Module.vexoLastReason = '';

// A line call's result as the C++ side takes it: the error's number, with
// the reason kept for vexo_line_reason. A call that throws is an I/O error.
Module.vexoLineCall = async function(call) {
  let result;
  try {
    result = await call();
  } catch (error) {
    result = {error: 'io_error', reason: String(error && error.message || error)};
  }
  if (!result || result.ok) {
    Module.vexoLastReason = '';
    return 0;
  }
  Module.vexoLastReason = String(result.reason || '');
  const kind = Module.vexoPortErrors.indexOf(result.error);
  return kind > 0 ? kind : Module.vexoPortErrors.indexOf('io_error');
};

// A ui callback; the page's faults never reach the engine.
Module.vexoUiCall = function(name, ...args) {
  const ui = Module.vexoUi;
  try {
    if (ui && typeof ui[name] === 'function') return ui[name](...args);
  } catch (error) {
    console.error('vexo ui.' + name, error);
  }
  return undefined;
};

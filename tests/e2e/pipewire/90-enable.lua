-- Only the default nodes and the policy that links streams.
load_module("metadata")
device_defaults.enable()

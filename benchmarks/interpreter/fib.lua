-- Recursion: Fibonacci through a local function (an upvalue), Lua's fastest
-- form of a recursive call.
local function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
print(fib(32))

-- Function calls: recursive Fibonacci through a global function, as script
-- functions are: they are found by name in one global namespace.
function fib(n)
  if n < 2 then return n end
  return fib(n - 1) + fib(n - 2)
end
print(fib(30))
